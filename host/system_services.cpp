// Sub-table 3: allocation with tags, error registration, object types,
// capabilities, host tags and the current date.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host/host.h"
#include "host/services.h"

namespace cvx {
namespace {

Host& H() { return *ActiveHost(); }

std::string Ptr(const void* p) {
    char text[32];
    snprintf(text, sizeof text, "%p", p);
    return text;
}

void SetHostTags(const TagItem* tags) {
    for (const TagItem* t = tags; t != nullptr && t->tag != 0; ++t) {
        if (t->tag == kHostTagInCallback) H().inCallback_ = t->value != 0;
        H().Log("SetHostTags(" + std::to_string(t->tag) + "=" + std::to_string(t->value) + ")");
    }
}

int32_t RegisterError(const char* message) {
    H().errorMessages_.push_back(message);
    const auto code =
        static_cast<int32_t>(Host::kFirstErrorCode + H().errorMessages_.size() - 1);
    H().Log(std::string("RegisterError(") + message + ")=" + std::to_string(code));
    return code;
}

void SetErrorArg(const char* text) {
    H().errorArg_ = text != nullptr ? text : "";
    H().Log("SetErrorArg(" + H().errorArg_ + ")");
}

void* Alloc(size_t size, int32_t clear, const char* tag) {
    const std::string name = tag != nullptr ? tag : "";
    if (H().logging()) {
        H().Log("Alloc(" + std::to_string(size) + "," + std::to_string(clear) + "," + name + ")");
    }
    if (H().ShouldFail(Fault::Alloc, name.c_str())) return nullptr;
    void* block = clear != 0 ? calloc(1, size > 0 ? size : 1) : malloc(size > 0 ? size : 1);
    if (block == nullptr) return nullptr;
    H().blocks_[block] = Block{size, name};
    return block;
}

void Free(void* block) {
    if (block == nullptr) return;
    auto it = H().blocks_.find(block);
    if (it == H().blocks_.end()) {
        // Not ours: keep running, but the test that caused it fails.
        H().violations_.push_back("Free of a block that Alloc did not give: " + Ptr(block));
        return;
    }
    if (H().logging()) H().Log("Free(" + it->second.tag + ")");
    H().blocks_.erase(it);
    free(block);
}

int32_t RegisterObjectType(VmState*, const char* name, void* listHead, ObjectTypeHandler handler) {
    H().objectTypes_.push_back({name, static_cast<ArchiveObject**>(listHead), handler});
    const auto id = static_cast<int32_t>(Host::kFirstTypeId + H().objectTypes_.size() - 1);
    H().Log(std::string("RegisterObjectType(") + name + ")=" + std::to_string(id));
    return id;
}

// The record must still be in its type's list: it is about to leave it.
void UnregisterObject(VmState*, void* record) {
    H().Log("UnregisterObject(" + Ptr(record) + ")");
    for (const Host::ObjectType& type : H().objectTypes_) {
        for (const ArchiveObject* r = *type.head; r != nullptr; r = r->next) {
            if (r == record) return;
        }
    }
    H().violations_.push_back("UnregisterObject of a record in no object list: " + Ptr(record));
}

void GetCurrentDate(DateGroup* date) {
    H().Log("GetCurrentDate");
    *date = H().options().fixedDate ? H().options().date
                                    : DateFromTime(static_cast<long long>(time(nullptr)));
}

int32_t ActivateCapability(PluginInfo*, uint32_t bit) {
    auto it = H().activateResults().find(bit);
    const int32_t result = it != H().activateResults().end() ? it->second : 0;
    H().Log("ActivateCapability(" + std::to_string(bit) + ")=" + std::to_string(result));
    return result;
}

int32_t SetCapabilityState(PluginInfo*, uint32_t bit, int32_t state, int32_t reserved) {
    H().Log("SetCapabilityState(" + std::to_string(bit) + "," + std::to_string(state) + "," +
            std::to_string(reserved) + ")");
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

int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

DateGroup DateFromTime(long long seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm parts {};
    localtime_r(&t, &parts);
    return DateGroup{parts.tm_sec, parts.tm_min,  parts.tm_hour,
                     parts.tm_mday, parts.tm_mon, parts.tm_year + 1900};
}

}  // namespace cvx
