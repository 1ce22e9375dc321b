#include "adapter/seen_index.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "adapter/adapter_dir.h"
#include "adapter/entry_names.h"

constinit SeenIndexCalloc gSeenIndexCalloc = calloc;

namespace {

constexpr size_t kFirstCapacity = 64;

// FNV-1a over the letters as NameIs compares them.
size_t FoldedHash(const char* name, size_t length) {
    uint64_t hash = 14695981039346656037ull;
    for (size_t i = 0; i < length; ++i) {
        hash ^= static_cast<unsigned char>(tolower(static_cast<unsigned char>(name[i])));
        hash *= 1099511628211ull;
    }
    return static_cast<size_t>(hash ^ (hash >> 32));
}

// Linear probing: the slot of the node or the free slot where it belongs.
// Slots keep their node's hash, so a probe reads a node's name only when
// the hashes agree, and growing reads no name at all.
size_t SlotFor(const SeenSlot* slots, size_t capacity, size_t hash, const char* name,
               size_t length) {
    size_t i = hash & (capacity - 1);
    while (slots[i].node != nullptr &&
           (slots[i].hash != hash || !NameIs(slots[i].node->name, name, length)))
        i = (i + 1) & (capacity - 1);
    return i;
}

// Doubles the table (or makes the first one); false when memory runs out.
bool Grow(SeenIndex* index) {
    const size_t capacity = index->capacity == 0 ? kFirstCapacity : index->capacity * 2;
    if (capacity < index->capacity) return false;
    auto* slots = static_cast<SeenSlot*>(gSeenIndexCalloc(capacity, sizeof(SeenSlot)));
    if (slots == nullptr) return false;
    for (size_t i = 0; i < index->capacity; ++i) {
        const SeenSlot& slot = index->slots[i];
        if (slot.node == nullptr) continue;
        size_t j = slot.hash & (capacity - 1);
        while (slots[j].node != nullptr)
            j = (j + 1) & (capacity - 1);
        slots[j] = slot;
    }
    free(index->slots);
    index->slots = slots;
    index->capacity = capacity;
    return true;
}

}  // namespace

bool SeenIndexContains(const SeenIndex* index, const char* name, size_t length) {
    if (index->capacity == 0) return false;
    const size_t hash = FoldedHash(name, length);
    return index->slots[SlotFor(index->slots, index->capacity, hash, name, length)].node != nullptr;
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
    const size_t hash = FoldedHash(node->name, length);
    index->slots[SlotFor(index->slots, index->capacity, hash, node->name, length)] = {hash, node};
    ++index->count;
}

void SeenIndexFree(SeenIndex* index) {
    free(index->slots);
    index->slots = nullptr;
    index->capacity = 0;
    index->count = 0;
}
