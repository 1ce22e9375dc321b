// An index beside a listing's seen list: a hash set of its nodes keyed by
// their names folded to lower case, so that each mention of a subdirectory
// costs one probe instead of a walk of every subdirectory returned so far.
// The list stays what it is (the nodes, their order and their blocks); the
// index only finds them. Its table lives in the C heap, as the entry cache
// does, so the host sees the listing's own blocks and nothing more.
#ifndef ZIPCVX_SEEN_INDEX_H
#define ZIPCVX_SEEN_INDEX_H

#include <stddef.h>
#include <stdint.h>

struct SeenSubdir;

struct SeenSlot {
    size_t hash;       // of the node's name, letter case folded
    SeenSubdir* node;  // null where the slot is free
};

struct SeenIndex {
    SeenSlot* slots;   // capacity slots; from gSeenIndexCalloc
    size_t capacity;   // 0 or a power of two
    size_t count;      // nodes held
    int32_t unusable;  // the table could not grow: it is freed, the list is walked instead
};

// Whether the index holds a node whose name is the length characters of
// name, letter case aside. Only meaningful while the index is usable and
// has been given every node of its list.
bool SeenIndexContains(const SeenIndex* index, const char* name, size_t length);

// Adds a node of the list. When the table cannot grow, frees it and marks
// the index unusable; it then stays so.
void SeenIndexAdd(SeenIndex* index, SeenSubdir* node);

void SeenIndexFree(SeenIndex* index);

// The C library's calloc; a test may put a failing one in its place.
using SeenIndexCalloc = void* (*)(size_t count, size_t size);
extern constinit SeenIndexCalloc gSeenIndexCalloc;

#endif
