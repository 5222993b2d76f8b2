// The link protocol: building, sending, queueing and resending requests, matching replies
// and dispatching whole messages to the handlers of their type.
//
// Lock order: the link's send lock, then the waiting-list lock or the send-queue lock; the
// send-queue lock, then a socket record's lock (the send thread writes under it); a socket
// record's lock, then the receive-queue lock (the receive callback). Handlers run with
// none of them held.
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "link_internal.h"

namespace {

constexpr uint16_t kSequenceMax = 65535;
constexpr uint8_t kStatusUnhandled = 1;
constexpr uint8_t kStatusNoReply = 0xFF;
constexpr int kSendPauseMs = 10;
constexpr int kResendPassMs = 200;
constexpr int kNapStepMs = 10;
constexpr int kCommandPollMs = 20;
constexpr int kDistributeIdleMs = 1;
constexpr int kStopSettleMs = 50;
constexpr int kAllocRetrySleepMs = 20;
constexpr int kAllocRetries = 50;
constexpr int kMaxSendsLimit = 255;
constexpr size_t kTypeOffset = 8;

enum class SendMode { kDirect, kQueued };

// Handler slots are installed by the user's thread and read by the link's threads.
link_request_handler slot_request(LINK_SLOT *slot) { return __atomic_load_n(&slot->on_request, __ATOMIC_ACQUIRE); }
link_reply_handler slot_reply(LINK_SLOT *slot) { return __atomic_load_n(&slot->on_reply, __ATOMIC_ACQUIRE); }

LINK_SLOT *find_slot(LINK_CONTEXT *link, uint32_t type) {
    for (LINK_SLOT &slot : link->slots) {
        if (slot.type == type) return &slot;
    }
    return nullptr;
}

LINK_QUEUES *link_queues(LINK_CONTEXT *link) { return link->transport != nullptr ? link->transport->queues : nullptr; }

// Sleeps up to ms in short steps, returning early once run is cleared.
void nap(const uint32_t *run, int ms) {
    for (int slept = 0; slept < ms && link_flag_get(run) != 0; slept += kNapStepMs) msleep(kNapStepMs);
}

// Wakes a thread that waits on sem; the flag is set and tested under lock, so no wake-up
// falls between a thread's test and its wait.
void wake_locked(uint32_t *waiting, sem_t *sem) {
    if (*waiting == 0) return;
    *waiting = 0;
    sem_post(sem);
}

// Waits on sem after flagging it; lock is held on entry and on return.
void wait_locked(pthread_mutex_t *lock, uint32_t *waiting, sem_t *sem) {
    *waiting = 1;
    pthread_mutex_unlock(lock);
    while (sem_wait(sem) != 0 && errno == EINTR) {
    }
    pthread_mutex_lock(lock);
    *waiting = 0;
}

bool payload_acceptable(const void *payload, int32_t length) {
    if (length >= 0 && static_cast<uint32_t>(length) <= LINK_PAYLOAD_MAX && (payload != nullptr || length == 0)) {
        return true;
    }
    link_log(LINK_LOG_ERROR, "%s Error length [%d]", "comm_fill_payload", length);
    return false;
}

uint16_t next_sequence(LINK_CONTEXT *link) {
    link->sequence = link->sequence == kSequenceMax ? 1 : static_cast<uint16_t>(link->sequence + 1);
    return link->sequence;
}

// Fills the send buffer's header and payload; called with the send lock held. The size
// of the message.
int32_t comm_fill_payload(LINK_CONTEXT *link, uint32_t sequence, uint8_t direction, uint8_t type, uint8_t command,
                          uint8_t status, const void *payload, int32_t length) {
    LINK_HEADER *h = link->header;
    h->sequence = sequence;
    h->direction = direction;
    h->type = type;
    h->command = command;
    h->status = status;
    h->reserved0 = 0;
    h->reserved1 = 0;
    h->length = static_cast<uint32_t>(length);
    if (length > 0) memcpy(link->send_buffer + LINK_HEADER_SIZE, payload, static_cast<size_t>(length));
    return length + static_cast<int32_t>(LINK_HEADER_SIZE);
}

void waiter_unlink(LINK_CONTEXT *link, LINK_WAITER *waiter) {
    pthread_mutex_lock(&link->waiters_lock);
    for (LINK_WAITER **p = &link->waiters; *p != nullptr; p = &(*p)->next) {
        if (*p == waiter) {
            *p = waiter->next;
            break;
        }
    }
    pthread_mutex_unlock(&link->waiters_lock);
}

// Sends one request. A waiter is registered, with the sequence the request will carry,
// before the request leaves, so that no reply can overtake it.
uint32_t link_send_request(LINK_CONTEXT *link, uint16_t cmd, const void *payload, int32_t length, SendMode mode,
                           int32_t retries, int32_t timeout, LINK_WAITER *waiter) {
    if (link == nullptr || link->transport == nullptr) return 0;
    if (!payload_acceptable(payload, length)) return 0;
    pthread_mutex_lock(&link->send_lock);
    uint16_t sequence = next_sequence(link);
    if (waiter != nullptr) {
        waiter->sequence = sequence;
        pthread_mutex_lock(&link->waiters_lock);
        waiter->next = link->waiters;
        link->waiters = waiter;
        pthread_mutex_unlock(&link->waiters_lock);
    }
    int32_t total = comm_fill_payload(link, sequence, LINK_DIR_REQUEST, static_cast<uint8_t>(cmd >> 8),
                                      static_cast<uint8_t>(cmd & 0xFF), 0, payload, length);
    if (mode == SendMode::kDirect) {
        send_udp_packet(link->transport, link->send_buffer, total);
    } else if (LINK_QUEUES *q = link_queues(link)) {
        if (add_send_node(q, link->send_buffer, total, retries, timeout) != nullptr) {
            pthread_mutex_lock(&q->send_lock);
            wake_locked(&q->send_waiting, &q->send_sem);
            wake_locked(&q->resend_waiting, &q->resend_sem);
            pthread_mutex_unlock(&q->send_lock);
        }
    }
    pthread_mutex_unlock(&link->send_lock);
    return sequence;
}

// Hands a reply to the synchronous command waiting for it: true when one took it.
bool answer_waiter(LINK_CONTEXT *link, const LINK_HEADER *h, const LINK_CHUNK *message) {
    pthread_mutex_lock(&link->waiters_lock);
    LINK_WAITER *w = link->waiters;
    while (w != nullptr && w->sequence != h->sequence) w = w->next;
    bool taken = false;
    if (w != nullptr && __atomic_load_n(&w->answered, __ATOMIC_RELAXED) == 0) {
        uint8_t *copy = nullptr;
        if (h->length > 0) {
            copy = static_cast<uint8_t *>(malloc(h->length));
            if (copy != nullptr) memcpy(copy, message->data + LINK_HEADER_SIZE, h->length);
        }
        if (h->length == 0 || copy != nullptr) {
            w->reply = copy;
            w->replyLength = h->length;
            w->status = h->status;
            __atomic_store_n(&w->answered, 1, __ATOMIC_RELEASE);
            taken = true;
        }
    }
    pthread_mutex_unlock(&link->waiters_lock);
    return taken;
}

void dispatch_request(LINK_CONTEXT *link, const LINK_HEADER *h, LINK_CHUNK *message) {
    LINK_SLOT *slot = find_slot(link, h->type);
    link_request_handler handler = slot != nullptr ? slot_request(slot) : nullptr;
    if (handler != nullptr && handler(message) != 0) return;
    printf("%s:%d\n", "distribute_proc", 635);
    send_echo_packet(link, message, kStatusUnhandled, nullptr, 0);
}

void dispatch_reply(LINK_CONTEXT *link, const LINK_HEADER *h, LINK_CHUNK *message) {
    if (answer_waiter(link, h, message)) return;
    LINK_QUEUES *q = link_queues(link);
    LINK_SEND_NODE *node = q != nullptr ? get_sendPacket_by_responsion(q, h) : nullptr;
    LINK_SLOT *slot = find_slot(link, h->type);
    link_reply_handler handler = slot != nullptr ? slot_reply(slot) : nullptr;
    if (handler != nullptr) handler(message, node);
    free_send_node(node);
}

// Messages come whole from the assembler, at least a header long.
void distribute_message(void *user, LINK_CHUNK *message) {
    LINK_CONTEXT *link = static_cast<LINK_CONTEXT *>(user);
    LINK_HEADER h;
    memcpy(&h, message->data, sizeof h);
    if (h.direction == LINK_DIR_REQUEST) {
        dispatch_request(link, &h, message);
    } else if (h.direction == LINK_DIR_REPLY) {
        dispatch_reply(link, &h, message);
    }
}

void *distribute_proc(void *arg) {
    LINK_CONTEXT *link = static_cast<LINK_CONTEXT *>(arg);
    LINK_ASSEMBLER assembler = {};
    while (link_flag_get(&link->run) != 0) {
        LINK_QUEUES *q = link_queues(link);
        LINK_CHUNK *chunk = q != nullptr ? get_recive_packet(q) : nullptr;
        if (chunk == nullptr) {
            msleep(kDistributeIdleMs);
            continue;
        }
        link_assemble_chunk(&assembler, chunk->data, chunk->length, distribute_message, link);
        free_recive_node(chunk);
    }
    link_assembler_reset(&assembler);
    return nullptr;
}

LINK_SEND_NODE *take_pending(LINK_QUEUES *q) {
    for (LINK_SEND_NODE *n = q->send_head; n != nullptr; n = n->next) {
        if (n->state == LINK_NODE_PENDING) return n;
    }
    return nullptr;
}

void *comm_send_thread(void *arg) {
    LINK_QUEUES *q = static_cast<LINK_QUEUES *>(arg);
    pthread_mutex_lock(&q->send_lock);
    while (link_flag_get(&q->run) != 0) {
        LINK_SEND_NODE *node = take_pending(q);
        if (node == nullptr) {
            wait_locked(&q->send_lock, &q->send_waiting, &q->send_sem);
            continue;
        }
        // The queue stays locked while the node is written: a reply that comes back before
        // the node is marked written would otherwise miss it (and the request be resent),
        // and nothing may free the node under the write.
        node->state = LINK_NODE_WRITING;
        send_udp_packet(q->transport, node->data, node->length);
        node->state = LINK_NODE_WAITING;
        node->sends++;
        pthread_mutex_unlock(&q->send_lock);
        msleep(kSendPauseMs);
        pthread_mutex_lock(&q->send_lock);
    }
    pthread_mutex_unlock(&q->send_lock);
    return nullptr;
}

void unlink_node(LINK_QUEUES *q, LINK_SEND_NODE *n) {
    if (n->prev != nullptr) n->prev->next = n->next; else q->send_head = n->next;
    if (n->next != nullptr) n->next->prev = n->prev; else q->send_tail = n->prev;
    n->next = n->prev = nullptr;
}

// One pass of the resend timer over the queue; gives up nodes are moved to *given_up.
void resend_pass(LINK_QUEUES *q, LINK_SEND_NODE **given_up) {
    bool wake = false;
    LINK_SEND_NODE *n = q->send_head;
    while (n != nullptr) {
        LINK_SEND_NODE *next = n->next;
        if (n->state == LINK_NODE_WAITING) {
            n->elapsed += kResendPassMs;
            if (n->elapsed <= n->timeout) {
                // not yet due
            } else if (n->sends < n->maxSends) {
                n->state = LINK_NODE_PENDING;
                wake = true;
            } else {
                n->state = LINK_NODE_GIVEN_UP;
                unlink_node(q, n);
                n->next = *given_up;
                *given_up = n;
            }
        }
        n = next;
    }
    if (wake) wake_locked(&q->send_waiting, &q->send_sem);
}

void *comm_resend_thread(void *arg) {
    LINK_QUEUES *q = static_cast<LINK_QUEUES *>(arg);
    while (link_flag_get(&q->run) != 0) {
        pthread_mutex_lock(&q->send_lock);
        if (q->send_head == nullptr) {
            pthread_mutex_unlock(&q->send_lock);
            nap(&q->run, kResendPassMs);
            pthread_mutex_lock(&q->send_lock);
            if (q->send_head == nullptr && link_flag_get(&q->run) != 0) {
                wait_locked(&q->send_lock, &q->resend_waiting, &q->resend_sem);
            }
            pthread_mutex_unlock(&q->send_lock);
            continue;
        }
        LINK_SEND_NODE *given_up = nullptr;
        resend_pass(q, &given_up);
        link_timeout_callback callback = q->on_timeout;
        void *user = q->timeout_user;
        pthread_mutex_unlock(&q->send_lock);
        // The callback runs without the queue lock: it may send.
        while (given_up != nullptr) {
            LINK_SEND_NODE *next = given_up->next;
            given_up->next = nullptr;
            if (callback != nullptr) callback(user, given_up);
            free_send_node(given_up);
            given_up = next;
        }
        nap(&q->run, kResendPassMs);
    }
    return nullptr;
}

void comm_send_timeout_proc(void *user, LINK_SEND_NODE *node) {
    LINK_CONTEXT *link = static_cast<LINK_CONTEXT *>(user);
    if (link == nullptr || node == nullptr || node->length < static_cast<int32_t>(LINK_HEADER_SIZE)) return;
    LINK_SLOT *slot = find_slot(link, node->data[kTypeOffset]);
    link_reply_handler handler = slot != nullptr ? slot_reply(slot) : nullptr;
    if (handler != nullptr) handler(nullptr, node);
}

void free_queues(LINK_QUEUES *q) {
    while (LINK_SEND_NODE *n = q->send_head) {
        q->send_head = n->next;
        free_send_node(n);
    }
    while (LINK_CHUNK *c = q->recv_head) {
        q->recv_head = c->next;
        free_recive_node(c);
    }
    pthread_mutex_destroy(&q->send_lock);
    pthread_mutex_destroy(&q->recv_lock);
    sem_destroy(&q->send_sem);
    sem_destroy(&q->resend_sem);
    sem_destroy(&q->distribute_sem);
    free(q);
}

void stop_queue_threads(LINK_QUEUES *q) {
    link_flag_set(&q->run, 0);
    msleep(kStopSettleMs);
    // Every thread is woken, waiting or about to wait: a post is never lost.
    sem_post(&q->send_sem);
    sem_post(&q->resend_sem);
    sem_post(&q->distribute_sem);
    pthread_join(q->resend_thread, nullptr);
    pthread_join(q->send_thread, nullptr);
}

int32_t clamp_sends(int32_t retries) {
    if (retries < 1) return LINK_DEFAULT_RETRIES;
    return retries > kMaxSendsLimit ? kMaxSendsLimit : retries;
}

int64_t now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec;
}

}  // namespace

extern "C" {

LINK_CONTEXT *start_comm(int kind, const char *name) {
    LINK_CONTEXT *link = static_cast<LINK_CONTEXT *>(calloc(1, sizeof(LINK_CONTEXT)));
    if (link == nullptr) return nullptr;
    link->send_buffer = static_cast<uint8_t *>(calloc(1, LINK_SEND_BUFFER_SIZE));
    if (link->send_buffer == nullptr) {
        free(link);
        return nullptr;
    }
    link->header = reinterpret_cast<LINK_HEADER *>(link->send_buffer);
    link->header->mark = LINK_MARK;
    for (uint32_t i = 0; i < LINK_TYPES; ++i) link->slots[i].type = i;
    pthread_mutex_init(&link->send_lock, nullptr);
    pthread_mutex_init(&link->waiters_lock, nullptr);
    link->transport = start_udpcomm(kind, name);
    if (link->transport != nullptr) {
        set_send_timeout_echofunc(link->transport->queues, link, comm_send_timeout_proc);
    }
    link_flag_set(&link->run, 1);
    if (pthread_create(&link->distribute_thread, nullptr, distribute_proc, link) != 0) {
        link_log(LINK_LOG_ERROR, "%s Error [%d]", "start_comm", 3);
        link_flag_set(&link->run, 0);
        stop_udpcomm(link->transport);
        pthread_mutex_destroy(&link->send_lock);
        pthread_mutex_destroy(&link->waiters_lock);
        free(link->send_buffer);
        free(link);
        return nullptr;
    }
    return link;
}

void stop_comm(LINK_CONTEXT *link) {
    if (link == nullptr) return;
    link_flag_set(&link->run, 0);
    msleep(kSendPauseMs);
    if (LINK_QUEUES *q = link_queues(link)) sem_post(&q->distribute_sem);
    pthread_join(link->distribute_thread, nullptr);
    stop_udpcomm(link->transport);
    link->transport = nullptr;
    pthread_mutex_destroy(&link->send_lock);
    pthread_mutex_destroy(&link->waiters_lock);
    free(link->send_buffer);
    free(link);
}

int set_recivedata_func(LINK_CONTEXT *link, uint32_t type, link_request_handler on_request,
                        link_reply_handler on_reply) {
    if (link == nullptr) {
        link_log(LINK_LOG_ERROR, "%s Error1", "set_recivedata_func");
        return 0;
    }
    LINK_SLOT *slot = find_slot(link, type);
    if (slot == nullptr) return 0;
    __atomic_store_n(&slot->on_request, on_request, __ATOMIC_RELEASE);
    __atomic_store_n(&slot->on_reply, on_reply, __ATOMIC_RELEASE);
    return 1;
}

uint32_t net_send(LINK_CONTEXT *link, uint16_t cmd, const void *payload, int32_t length, int32_t retries,
                  int32_t timeout) {
    return link_send_request(link, cmd, payload, length, SendMode::kQueued, clamp_sends(retries),
                             timeout < 1 ? LINK_DEFAULT_TIMEOUT : timeout, nullptr);
}

uint32_t net_direct_send(LINK_CONTEXT *link, uint16_t cmd, const void *payload, int32_t length) {
    return link_send_request(link, cmd, payload, length, SendMode::kDirect, 0, 0, nullptr);
}

int send_command(LINK_CONTEXT *link, uint16_t cmd, const void *payload, int32_t length, int32_t timeoutSeconds,
                 uint8_t *status, uint8_t **reply, uint32_t *replyLength) {
    if (timeoutSeconds < 1) timeoutSeconds = 1;
    LINK_WAITER *waiter = static_cast<LINK_WAITER *>(calloc(1, sizeof(LINK_WAITER)));
    if (waiter == nullptr) return 0;
    waiter->status = kStatusNoReply;
    if (link_send_request(link, cmd, payload, length, SendMode::kDirect, 0, 0, waiter) == 0) {
        free(waiter);  // never registered
        return 0;
    }
    int64_t start = now_seconds();
    while (__atomic_load_n(&waiter->answered, __ATOMIC_ACQUIRE) == 0 && now_seconds() - start <= timeoutSeconds) {
        msleep(kCommandPollMs);
    }
    waiter_unlink(link, waiter);
    // Once unlinked nobody writes the waiter; the lock ordered every write before this.
    int answered = __atomic_load_n(&waiter->answered, __ATOMIC_ACQUIRE);
    if (answered != 0) {
        if (status != nullptr) *status = waiter->status;
        if (reply != nullptr) {
            *reply = waiter->reply;
        } else {
            free(waiter->reply);
        }
        if (replyLength != nullptr) *replyLength = waiter->replyLength;
    } else {
        free(waiter->reply);
    }
    free(waiter);
    return answered != 0 ? 1 : 0;
}

void send_echo_packet(LINK_CONTEXT *link, LINK_CHUNK *request, uint8_t status, const void *payload, int32_t length) {
    if (link == nullptr || request == nullptr || link->transport == nullptr) return;
    if (request->data == nullptr || request->length < static_cast<int32_t>(LINK_HEADER_SIZE)) return;
    if (!payload_acceptable(payload, length)) return;
    LINK_HEADER h;
    memcpy(&h, request->data, sizeof h);
    pthread_mutex_lock(&link->send_lock);
    int32_t total = comm_fill_payload(link, h.sequence, LINK_DIR_REPLY, h.type, h.command, status, payload, length);
    send_udp_packet(link->transport, link->send_buffer, total);
    pthread_mutex_unlock(&link->send_lock);
}

uint16_t get_cmd_by_nethead(const LINK_HEADER *header) {
    if (header == nullptr) return 0;
    return static_cast<uint16_t>(header->type << 8 | header->command);
}

LINK_TRANSPORT *start_udpcomm(int kind, const char *name) {
    LINK_TRANSPORT *t = static_cast<LINK_TRANSPORT *>(calloc(1, sizeof(LINK_TRANSPORT)));
    if (t == nullptr) return nullptr;
    t->kind = kind == SOCKET_KIND_SERVER ? 1 : 0;
    t->queues = start_comm_thread(t);
    if (t->queues == nullptr) {
        free(t);
        return nullptr;
    }
    t->socket = socket_open(static_cast<int>(t->kind), recive_udp_proc, name, t->queues);
    if (t->socket == nullptr) {
        stop_comm_thread(t->queues);
        free(t);
        return nullptr;
    }
    t->open = 1;
    return t;
}

void stop_udpcomm(LINK_TRANSPORT *transport) {
    if (transport == nullptr) return;
    if (transport->open != 0) {
        // The send thread writes through the socket record and the socket's threads append
        // to the queues: stop the writers, then the socket, then free the queues.
        stop_queue_threads(transport->queues);
        socket_close(transport->socket, static_cast<int>(transport->kind));
        transport->socket = nullptr;
        free_queues(transport->queues);
        transport->queues = nullptr;
    }
    free(transport);
}

int send_udp_packet(LINK_TRANSPORT *transport, const uint8_t *bytes, int32_t count) {
    if (transport == nullptr) return 0;
    socket_send(transport->socket, static_cast<int>(transport->kind), bytes, count);
    return 1;
}

LINK_QUEUES *start_comm_thread(LINK_TRANSPORT *transport) {
    LINK_QUEUES *q = static_cast<LINK_QUEUES *>(calloc(1, sizeof(LINK_QUEUES)));
    if (q == nullptr) return nullptr;
    pthread_mutex_init(&q->send_lock, nullptr);
    pthread_mutex_init(&q->recv_lock, nullptr);
    sem_init(&q->send_sem, 0, 0);
    sem_init(&q->resend_sem, 0, 0);
    sem_init(&q->distribute_sem, 0, 0);
    q->transport = transport;
    link_flag_set(&q->run, 1);
    if (pthread_create(&q->send_thread, nullptr, comm_send_thread, q) != 0) {
        free_queues(q);
        return nullptr;
    }
    if (pthread_create(&q->resend_thread, nullptr, comm_resend_thread, q) != 0) {
        link_flag_set(&q->run, 0);
        sem_post(&q->send_sem);
        pthread_join(q->send_thread, nullptr);
        free_queues(q);
        return nullptr;
    }
    return q;
}

void stop_comm_thread(LINK_QUEUES *queues) {
    if (queues == nullptr) return;
    stop_queue_threads(queues);
    free_queues(queues);
}

LINK_SEND_NODE *add_send_node(LINK_QUEUES *queues, const uint8_t *bytes, int32_t count, int32_t maxSends,
                              int32_t timeout) {
    if (queues == nullptr || bytes == nullptr || count <= 0) return nullptr;
    LINK_SEND_NODE *node = static_cast<LINK_SEND_NODE *>(calloc(1, sizeof(LINK_SEND_NODE)));
    if (node == nullptr) return nullptr;
    node->data = static_cast<uint8_t *>(malloc(static_cast<size_t>(count)));
    if (node->data == nullptr) {
        free(node);
        return nullptr;
    }
    memcpy(node->data, bytes, static_cast<size_t>(count));
    node->length = count;
    node->maxSends = static_cast<uint8_t>(clamp_sends(maxSends));
    node->timeout = timeout;
    pthread_mutex_lock(&queues->send_lock);
    node->prev = queues->send_tail;
    if (queues->send_tail != nullptr) queues->send_tail->next = node; else queues->send_head = node;
    queues->send_tail = node;
    pthread_mutex_unlock(&queues->send_lock);
    return node;
}

void free_send_node(LINK_SEND_NODE *node) {
    if (node == nullptr) return;
    free(node->data);
    free(node);
}

void free_recive_node(LINK_CHUNK *chunk) {
    if (chunk == nullptr) return;
    free(chunk->data);
    free(chunk);
}

int recive_udp_proc(void *queues, uint8_t *bytes, int32_t count) {
    LINK_QUEUES *q = static_cast<LINK_QUEUES *>(queues);
    if (q == nullptr || bytes == nullptr || count <= 0) {
        link_log(LINK_LOG_ERROR, "%s Error1", "recive_udp_proc");
        return -1;
    }
    LINK_CHUNK *chunk = nullptr;
    // Memory may come back; a chunk that cannot be stored in a second is dropped.
    for (int attempt = 0; attempt < kAllocRetries; ++attempt) {
        chunk = static_cast<LINK_CHUNK *>(calloc(1, sizeof(LINK_CHUNK)));
        if (chunk != nullptr) chunk->data = static_cast<uint8_t *>(malloc(static_cast<size_t>(count)));
        if (chunk != nullptr && chunk->data != nullptr) break;
        free(chunk);
        chunk = nullptr;
        msleep(kAllocRetrySleepMs);
    }
    if (chunk == nullptr) {
        link_log(LINK_LOG_ERROR, "%s Error memory [%d]", "recive_udp_proc", count);
        return -1;
    }
    memcpy(chunk->data, bytes, static_cast<size_t>(count));
    chunk->length = count;
    pthread_mutex_lock(&q->recv_lock);
    if (q->recv_tail != nullptr) q->recv_tail->next = chunk; else q->recv_head = chunk;
    q->recv_tail = chunk;
    wake_locked(&q->distribute_waiting, &q->distribute_sem);
    pthread_mutex_unlock(&q->recv_lock);
    return 0;
}

LINK_CHUNK *get_recive_packet(LINK_QUEUES *queues) {
    if (queues == nullptr) return nullptr;
    pthread_mutex_lock(&queues->recv_lock);
    if (queues->recv_head == nullptr) wait_locked(&queues->recv_lock, &queues->distribute_waiting, &queues->distribute_sem);
    LINK_CHUNK *chunk = queues->recv_head;
    if (chunk != nullptr) {
        queues->recv_head = chunk->next;
        if (queues->recv_head == nullptr) queues->recv_tail = nullptr;
        chunk->next = nullptr;
    }
    pthread_mutex_unlock(&queues->recv_lock);
    return chunk;
}

LINK_SEND_NODE *get_sendPacket_by_responsion(LINK_QUEUES *queues, const LINK_HEADER *header) {
    if (queues == nullptr || header == nullptr) return nullptr;
    pthread_mutex_lock(&queues->send_lock);
    LINK_SEND_NODE *found = nullptr;
    for (LINK_SEND_NODE *n = queues->send_head; n != nullptr; n = n->next) {
        uint32_t sequence;
        memcpy(&sequence, n->data, sizeof sequence);
        if (n->state == LINK_NODE_WAITING && sequence == header->sequence) {
            found = n;
            unlink_node(queues, n);
            break;
        }
    }
    pthread_mutex_unlock(&queues->send_lock);
    return found;
}

void have_recived(LINK_QUEUES *queues) {
    if (queues == nullptr) return;
    pthread_mutex_lock(&queues->recv_lock);
    wake_locked(&queues->distribute_waiting, &queues->distribute_sem);
    pthread_mutex_unlock(&queues->recv_lock);
}

void set_send_timeout_echofunc(LINK_QUEUES *queues, void *user, link_timeout_callback callback) {
    if (queues == nullptr) return;
    pthread_mutex_lock(&queues->send_lock);
    queues->timeout_user = user;
    queues->on_timeout = callback;
    pthread_mutex_unlock(&queues->send_lock);
}

}  // extern "C"
