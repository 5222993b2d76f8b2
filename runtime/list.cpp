// The intrusive, circular, doubly linked list of every run-time collection.
#include "readercore.h"

extern "C" void list_init(struct list_head *head) {
    head->next = head;
    head->prev = head;
}

extern "C" void __list_add(struct list_head *entry, struct list_head *prev, struct list_head *next) {
    next->prev = entry;
    entry->next = next;
    entry->prev = prev;
    prev->next = entry;
}

extern "C" void list_add(struct list_head *entry, struct list_head *head) { __list_add(entry, head, head->next); }

extern "C" void list_add_tail(struct list_head *head, struct list_head *entry) { __list_add(entry, head->prev, head); }

extern "C" void __list_del(struct list_head *prev, struct list_head *next) {
    next->prev = prev;
    prev->next = next;
}

extern "C" void list_del(struct list_head *entry) {
    __list_del(entry->prev, entry->next);
    entry->next = nullptr;
    entry->prev = nullptr;
}
