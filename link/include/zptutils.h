/* libzptutils: the message link between two processes, the local socket layer under it and
 * a few process, thread and log utilities.
 *
 * A link carries messages of a 16-byte LINK_HEADER and a payload over an abstract AF_UNIX
 * stream socket. A server link accepts two clients; a client link connects to one name and
 * reconnects when its connection drops. Requests go out directly, queued with resends, or
 * as synchronous commands; the link's distribute thread rebuilds whole messages from the
 * socket's reads and hands each to the handler of its type.
 *
 * The library logs only to the Android log (tag "Kelservice", debug priority) under its own
 * mask, 0x47 at load: 0x02 errors and connection messages, 0x40 hex dumps. Its log_get_level,
 * log_set_level, msleep and LogPrintHex are this library's own; other libraries of the
 * process may export the same names. */
#pragma once

#include <pthread.h>
#include <semaphore.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ZPTUTILS_EXPORT __attribute__((visibility("default")))

#define LINK_LOG_TAG "Kelservice"
#define LINK_LOG_LEVEL_DEFAULT 0x47u
#define LINK_LOG_ERROR 0x02u /* errors and connection messages */
#define LINK_LOG_HEX 0x40u   /* LogPrintHex */

/* ---- Utilities ---- */

/* The thread record of this library, embedded in the records that own a thread. The
 * owner clears run to make the thread leave its loop. */
typedef struct COMM_THREAD {
    uint32_t run;
    pthread_t thread;
    void *(*entry)(void *);
    void *arg;
} COMM_THREAD;

/* The id of the first process in /proc's directory order whose name (as the kernel's
 * status line gives it, at most 15 characters) equals name; 0 when none does. */
ZPTUTILS_EXPORT int common_get_pid(const char *name);
/* Starts a detached thread running entry(arg) with record->run set: 0, or -1 when the
 * record is NULL or the thread cannot be created (run is then 0). */
ZPTUTILS_EXPORT int common_thread_Start(COMM_THREAD *record, void *(*entry)(void *), void *arg);
ZPTUTILS_EXPORT void msleep(int ms);
ZPTUTILS_EXPORT uint32_t log_get_level(void);
ZPTUTILS_EXPORT void log_set_level(uint32_t mask);
/* Logs "<title> [ 0x..., 0x...,]" when mask bit 0x40 is set; the text is cut before the
 * first entry that would not fit in 2048 bytes. */
ZPTUTILS_EXPORT void LogPrintHex(const char *title, const uint8_t *bytes, int count);
/* b - a in milliseconds, or -1 when b is earlier than a (or either is NULL). */
ZPTUTILS_EXPORT int common_tim_subtract(const struct timeval *a, const struct timeval *b);

/* ---- Local socket layer ---- */

#define SOCKET_KIND_SERVER 1
#define SOCKET_NAME_MAX 107
#define SOCKET_DEFAULT_NAME "/dev/socket/brevik"
#define SOCKET_READ_SIZE 2048

/* Receives the bytes of one read; the result is not used. */
typedef int (*socket_recv_callback)(void *user, uint8_t *bytes, int32_t count);

/* Opens a server (kind 1) or a client on an abstract name (NULL: the default). The record,
 * or NULL when none can be made. A server whose name cannot be bound, or a client that
 * finds nothing listening, is returned all the same and never carries bytes. */
ZPTUTILS_EXPORT void *socket_open(int kind, socket_recv_callback callback, const char *name, void *user);
/* Server: writes to every connected client, 0. Client: 0 without a connection, else the
 * count written. A connection whose write fails or times out is dropped. */
ZPTUTILS_EXPORT int socket_send(void *record, int kind, const uint8_t *bytes, int32_t count);
ZPTUTILS_EXPORT int socket_service_send(void *record, const uint8_t *bytes, int32_t count);
/* Ends the record's threads, closes its sockets and frees it. */
ZPTUTILS_EXPORT void socket_close(void *record, int kind);
ZPTUTILS_EXPORT void socket_service_close(void *record);
ZPTUTILS_EXPORT void socket_client_close(void *record);

/* ---- Link protocol ---- */

/* The wire header, little-endian. */
typedef struct LINK_HEADER {
    uint32_t sequence;  /* 1..65535; a reply repeats its request's */
    uint16_t mark;      /* 0x0201 */
    uint8_t reserved0;
    uint8_t direction;  /* LINK_DIR_REQUEST or LINK_DIR_REPLY */
    uint8_t type;       /* 0..3 */
    uint8_t command;
    uint8_t status;     /* 0 in a request */
    uint8_t reserved1;
    uint32_t length;    /* payload bytes after the header */
} LINK_HEADER;

#define LINK_HEADER_SIZE 16u
#define LINK_MARK 0x0201u
#define LINK_DIR_REQUEST 0xAAu
#define LINK_DIR_REPLY 0x00u
#define LINK_TYPES 4
#define LINK_SEND_BUFFER_SIZE 6144000u
/* The largest payload: what the send buffer holds behind its header. Longer messages are
 * neither sent nor accepted. */
#define LINK_PAYLOAD_MAX (LINK_SEND_BUFFER_SIZE - LINK_HEADER_SIZE)
#define LINK_DEFAULT_RETRIES 1
#define LINK_DEFAULT_TIMEOUT 3

#ifdef __cplusplus
static_assert(sizeof(LINK_HEADER) == 16, "link header is 16 bytes on the wire");
static_assert(offsetof(LINK_HEADER, mark) == 4 && offsetof(LINK_HEADER, direction) == 7 &&
                  offsetof(LINK_HEADER, type) == 8 && offsetof(LINK_HEADER, command) == 9 &&
                  offsetof(LINK_HEADER, status) == 10 && offsetof(LINK_HEADER, length) == 12,
              "link header offsets");
#endif

/* One socket read, or one whole message (header, then payload). */
typedef struct LINK_CHUNK {
    struct LINK_CHUNK *next;
    int32_t length;
    uint8_t *data;
} LINK_CHUNK;

enum { LINK_NODE_PENDING = 0, LINK_NODE_WRITING = 1, LINK_NODE_WAITING = 2, LINK_NODE_GIVEN_UP = 4 };

/* One queued request. */
typedef struct LINK_SEND_NODE {
    struct LINK_SEND_NODE *next;
    struct LINK_SEND_NODE *prev;
    uint8_t state;
    uint8_t sends;
    uint8_t maxSends;
    int32_t timeout;
    int32_t elapsed;
    int32_t length;
    uint8_t *data;
} LINK_SEND_NODE;

/* One synchronous command waiting for its reply. answered is set last, with release
 * order, once reply, replyLength and status hold the reply. */
typedef struct LINK_WAITER {
    uint16_t sequence;
    uint8_t status;
    uint8_t answered;
    uint8_t *reply;
    uint32_t replyLength;
    struct LINK_WAITER *next;
} LINK_WAITER;

/* A request handler gives non-zero when it handled the request; a reply handler may get a
 * NULL reply (given up) or a NULL request (no queued request matched). Both run on the
 * link's distribute thread, and the chunk lives only for the call. */
typedef int (*link_request_handler)(LINK_CHUNK *request);
typedef void (*link_reply_handler)(LINK_CHUNK *reply, LINK_SEND_NODE *request);
typedef void (*link_timeout_callback)(void *user, LINK_SEND_NODE *node);

typedef struct LINK_SLOT {
    uint32_t type;
    link_request_handler on_request;
    link_reply_handler on_reply;
} LINK_SLOT;

struct LINK_TRANSPORT;

/* The queues of a transport and their threads. Each wake flag says that its thread waits
 * on its semaphore; it is set and tested under its queue's lock. */
typedef struct LINK_QUEUES {
    LINK_SEND_NODE *send_head;
    LINK_SEND_NODE *send_tail;
    LINK_CHUNK *recv_head;
    LINK_CHUNK *recv_tail;
    pthread_mutex_t send_lock;
    pthread_mutex_t recv_lock;
    sem_t send_sem;
    uint32_t send_waiting;
    sem_t resend_sem;
    uint32_t resend_waiting;
    sem_t distribute_sem;
    uint32_t distribute_waiting;
    uint32_t run;
    pthread_t send_thread;
    pthread_t resend_thread;
    link_timeout_callback on_timeout;
    void *timeout_user;
    struct LINK_TRANSPORT *transport;
} LINK_QUEUES;

typedef struct LINK_TRANSPORT {
    uint32_t open;
    uint32_t kind;
    void *socket;
    LINK_QUEUES *queues;
} LINK_TRANSPORT;

typedef struct LINK_CONTEXT {
    uint32_t run;
    pthread_t distribute_thread;
    uint8_t *send_buffer;
    LINK_HEADER *header;
    uint16_t sequence;
    pthread_mutex_t send_lock;
    LINK_WAITER *waiters;
    pthread_mutex_t waiters_lock;
    LINK_SLOT slots[LINK_TYPES];
    LINK_TRANSPORT *transport;
} LINK_CONTEXT;

/* kind 1 opens a server, any other a client; name NULL: the default. NULL only when the
 * link cannot be allocated; a link without transport sends and receives nothing. */
ZPTUTILS_EXPORT LINK_CONTEXT *start_comm(int kind, const char *name);
ZPTUTILS_EXPORT void stop_comm(LINK_CONTEXT *link);
/* Installs both handlers of type's slot: 1, or 0 for a NULL link or an unknown type. */
ZPTUTILS_EXPORT int set_recivedata_func(LINK_CONTEXT *link, uint32_t type, link_request_handler on_request,
                                        link_reply_handler on_reply);
/* The senders take the command word type << 8 | command and a payload of at most
 * LINK_PAYLOAD_MAX bytes; a longer or negative length, or a NULL payload with a length,
 * is refused with 0 and nothing written. */
/* Queues a request: its sequence, or 0 without link or transport. retries < 1 counts as 1,
 * timeout (ms) < 1 as 3. */
ZPTUTILS_EXPORT uint32_t net_send(LINK_CONTEXT *link, uint16_t cmd, const void *payload, int32_t length,
                                  int32_t retries, int32_t timeout);
/* Writes a request at once: its sequence, or 0 without link or transport. */
ZPTUTILS_EXPORT uint32_t net_direct_send(LINK_CONTEXT *link, uint16_t cmd, const void *payload, int32_t length);
/* Writes a request and waits up to timeoutSeconds (< 1 counts as 1) whole seconds for its
 * reply: 1 with the reply's status, payload (the caller frees it; freed here when reply
 * is NULL) and length, or 0. */
ZPTUTILS_EXPORT int send_command(LINK_CONTEXT *link, uint16_t cmd, const void *payload, int32_t length,
                                 int32_t timeoutSeconds, uint8_t *status, uint8_t **reply, uint32_t *replyLength);
/* Answers a received request with a status and payload. */
ZPTUTILS_EXPORT void send_echo_packet(LINK_CONTEXT *link, LINK_CHUNK *request, uint8_t status, const void *payload,
                                      int32_t length);
ZPTUTILS_EXPORT uint16_t get_cmd_by_nethead(const LINK_HEADER *header);

ZPTUTILS_EXPORT LINK_TRANSPORT *start_udpcomm(int kind, const char *name);
ZPTUTILS_EXPORT void stop_udpcomm(LINK_TRANSPORT *transport);
/* 1 when a transport is given, whatever the write did; 0 otherwise. */
ZPTUTILS_EXPORT int send_udp_packet(LINK_TRANSPORT *transport, const uint8_t *bytes, int32_t count);
ZPTUTILS_EXPORT LINK_QUEUES *start_comm_thread(LINK_TRANSPORT *transport);
ZPTUTILS_EXPORT void stop_comm_thread(LINK_QUEUES *queues);
ZPTUTILS_EXPORT LINK_SEND_NODE *add_send_node(LINK_QUEUES *queues, const uint8_t *bytes, int32_t count,
                                              int32_t maxSends, int32_t timeout);
ZPTUTILS_EXPORT void free_send_node(LINK_SEND_NODE *node);
ZPTUTILS_EXPORT void free_recive_node(LINK_CHUNK *chunk);
/* The socket layer's receive callback: queues a copy of the bytes. 0, or -1 for a missing
 * argument or a count below 1. */
ZPTUTILS_EXPORT int recive_udp_proc(void *queues, uint8_t *bytes, int32_t count);
ZPTUTILS_EXPORT LINK_CHUNK *get_recive_packet(LINK_QUEUES *queues);
ZPTUTILS_EXPORT LINK_SEND_NODE *get_sendPacket_by_responsion(LINK_QUEUES *queues, const LINK_HEADER *header);
ZPTUTILS_EXPORT void have_recived(LINK_QUEUES *queues);
ZPTUTILS_EXPORT void set_send_timeout_echofunc(LINK_QUEUES *queues, void *user, link_timeout_callback callback);

#ifdef __cplusplus
}
#endif
