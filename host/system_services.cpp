// Sub-table 3: allocation with tags, error registration, object types,
// capabilities, host tags and the current date.
//
// These are called from plugin and libzip frames, which no C++ exception
// may cross: each service that uses a container catches what the host's
// own memory running short throws and gives its failure result.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/conversions.h"
#include "host/host_state.h"
#include "host/services.h"

namespace cvx {
namespace {

std::string Ptr(const void* p) {
    char text[32];
    snprintf(text, sizeof text, "%p", p);
    return text;
}

// Tag 31 set: the plugin is about to build a callback's arguments, then
// calls it; cleared: the callback has returned.
void SetHostTags(const TagItem* tags) {
    for (const TagItem* t = tags; t != nullptr && t->tag != 0; ++t) {
        if (t->tag == kHostTagInCallback) {
            H().inCallback = H().preparingCall = t->value != 0;
            if (t->value == 0) H().callMemoryShort = false;
        }
        H().Log("SetHostTags(%u=%" PRIuPTR ")", t->tag, t->value);
    }
}

// Without memory for the message the code still comes back: the host then
// knows no message for it.
int32_t RegisterError(const char* message) {
    const auto code = static_cast<int32_t>(HostState::kFirstErrorCode + H().errorMessages.size());
    try {
        H().errorMessages.push_back(message);
        H().Log("RegisterError(%s)=%d", message, code);
    } catch (...) {
    }
    return code;
}

void SetErrorArg(const char* text) try {
    H().errorArg = text != nullptr ? text : "";
    H().Log("SetErrorArg(%s)", H().errorArg.c_str());
} catch (...) {
    H().errorArg.clear();
}

void* Alloc(size_t size, int32_t clear, const char* tag) {
    const char* name = tag != nullptr ? tag : "";
    H().Log("Alloc(%zu,%d,%s)", size, clear, name);
    try {
        if (H().ShouldFail(Fault::Alloc, name)) return nullptr;
    } catch (...) {
        return nullptr;
    }
    void* block = clear != 0 ? calloc(1, size > 0 ? size : 1) : malloc(size > 0 ? size : 1);
    if (block == nullptr) return nullptr;
    try {
        H().blocks[block] = Block{size, name};
    } catch (...) {
        free(block);  // a block the host cannot account for is not handed out
        return nullptr;
    }
    return block;
}

void Free(void* block) try {
    if (block == nullptr) return;
    auto it = H().blocks.find(block);
    if (it == H().blocks.end()) {
        // Not ours: keep running, but the test that caused it fails.
        H().violations.push_back("Free of a block that Alloc did not give: " + Ptr(block));
        return;
    }
    H().Log("Free(%s)", it->second.tag.c_str());
    H().blocks.erase(it);
    free(block);
} catch (...) {
}

// Without memory for the type the id still comes back; the host then knows
// no handler for it.
int32_t RegisterObjectType(VmState*, const char* name, void* listHead, ObjectTypeHandler handler) {
    const auto id = static_cast<int32_t>(HostState::kFirstTypeId + H().objectTypes.size());
    try {
        H().objectTypes.push_back({name, static_cast<ArchiveObject**>(listHead), handler});
        H().Log("RegisterObjectType(%s)=%d", name, id);
    } catch (...) {
    }
    return id;
}

// The record must still be in its type's list: it is about to leave it.
// Its handle dies here, before the address can be reused.
void UnregisterObject(VmState*, void* record) try {
    bool listed = false;
    for (const HostState::ObjectType& type : H().objectTypes) {
        for (const ArchiveObject* r = *type.head; r != nullptr; r = r->next) {
            if (r == record) listed = true;
        }
    }
    if (listed) {
        const uintptr_t handle = static_cast<const ArchiveObject*>(record)->idHandle;
        if (handle != 0) ForgetHandle(handle);
    }
    H().Log("UnregisterObject(%p)", record);
    if (!listed) {
        H().violations.push_back("UnregisterObject of a record in no object list: " +
                                 Ptr(record));
    }
} catch (...) {
}

void GetCurrentDate(DateGroup* date) {
    *date = H().options.fixedDate ? H().options.date
                                  : DateFromTime(static_cast<long long>(time(nullptr)));
    H().Log("GetCurrentDate");
}

int32_t ActivateCapability(PluginInfo*, uint32_t bit) {
    auto it = H().activateResults.find(bit);
    const int32_t result = it != H().activateResults.end() ? it->second : 0;
    H().Log("ActivateCapability(%u)=%d", bit, result);
    return result;
}

int32_t SetCapabilityState(PluginInfo*, uint32_t bit, int32_t state, int32_t reserved) {
    H().Log("SetCapabilityState(%u,%d,%d)", bit, state, reserved);
    return 0;
}

const SystemServices kSystem = [] {
    SystemServices s{};
    s.SetHostTags = SetHostTags;
    s.RegisterError = RegisterError;
    s.SetErrorArg = SetErrorArg;
    s.Alloc = Alloc;
    s.Free = Free;
    s.RegisterObjectType = RegisterObjectType;
    s.UnregisterObject = UnregisterObject;
    s.GetCurrentDate = GetCurrentDate;
    s.ActivateCapability = ActivateCapability;
    s.SetCapabilityState = SetCapabilityState;
    return s;
}();

}  // namespace

const SystemServices* SystemServiceTable() { return &kSystem; }

}  // namespace cvx
