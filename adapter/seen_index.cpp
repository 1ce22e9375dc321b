#include "adapter/seen_index.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "adapter/adapter_dir.h"

constinit SeenIndexCalloc gSeenIndexCalloc = calloc;

namespace {

constexpr size_t kFirstCapacity = 64;

// FNV-1a over the letters as strncasecmp compares them.
size_t FoldedHash(const char* name, size_t length) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(tolower(static_cast<unsigned char>(name[i])));
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash ^ (hash >> 32));
}

bool SameName(const SeenSubdir* node, const char* name, size_t length) {
    return strncasecmp(node->name, name, length) == 0 && node->name[length] == '\0';
}

// Linear probing: the slot of the node or the free slot where it belongs.
size_t SlotFor(SeenSubdir* const* slots, size_t capacity, const char* name, size_t length) {
    size_t i = FoldedHash(name, length) & (capacity - 1);
    while (slots[i] != nullptr && !SameName(slots[i], name, length))
        i = (i + 1) & (capacity - 1);
    return i;
}

// Doubles the table (or makes the first one); false when memory runs out.
bool Grow(SeenIndex* index) {
    const size_t capacity = index->capacity == 0 ? kFirstCapacity : index->capacity * 2;
    if (capacity < index->capacity) return false;
    auto** slots = static_cast<SeenSubdir**>(gSeenIndexCalloc(capacity, sizeof(SeenSubdir*)));
    if (slots == nullptr) return false;
    for (size_t i = 0; i < index->capacity; ++i) {
        SeenSubdir* node = index->slots[i];
        if (node != nullptr) slots[SlotFor(slots, capacity, node->name, strlen(node->name))] = node;
    }
    free(index->slots);
    index->slots = slots;
    index->capacity = capacity;
    return true;
}

}  // namespace

bool SeenIndexContains(const SeenIndex* index, const char* name, size_t length) {
    if (index->capacity == 0) return false;
    return index->slots[SlotFor(index->slots, index->capacity, name, length)] != nullptr;
}

void SeenIndexAdd(SeenIndex* index, SeenSubdir* node) {
    if (index->unusable != 0) return;
    // At most half full, so that probes stay short.
    if ((index->count + 1) * 2 > index->capacity && !Grow(index)) {
        SeenIndexFree(index);
        index->unusable = 1;
        return;
    }
    const size_t length = strlen(node->name);
    index->slots[SlotFor(index->slots, index->capacity, node->name, length)] = node;
    ++index->count;
}

void SeenIndexFree(SeenIndex* index) {
    free(index->slots);
    index->slots = nullptr;
    index->capacity = 0;
    index->count = 0;
}
