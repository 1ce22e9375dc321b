// What the public Host and the services' private state share: the host's
// options, its fault slots and the plugin's resolved entry points.
#ifndef CVXHOST_HOST_TYPES_H
#define CVXHOST_HOST_TYPES_H

#include <cstdint>
#include <string>

#include "plugin/host_interface.h"

namespace cvx {

struct HostOptions {
    uint32_t version = 7;
    uint32_t revision = 1;
    bool fixedDate = false;  // GetCurrentDate answers `date` instead of the clock
    DateGroup date{0, 0, 12, 1, 0, 2000};
    bool logCalls = false;   // record every service call in Host::calls()
    bool requirePlugin = true;
};

// Services whose calls can be made to fail.
enum class Fault {
    Alloc,
    OpenFile,
    ReadFile,
    WriteFile,
    SeekFile,
    ExamineFile,
    CallFunction,
    VmAlloc,  // the script VM's allocations, from the n-th on; tag "callback": inside callbacks
    kCount
};

struct FaultSlot {
    int64_t countdown = 0;  // the countdown-th next matching call fails; 0 = none
    std::string tag;        // Alloc only: count only blocks of this tag when set
    int64_t calls = 0;      // matching calls seen since the slot was armed or reset
    int64_t failures = 0;   // injected failures so far
    std::string failedTag;  // Alloc only: the tag of the block last made to fail
};

// The plugin's entry points, resolved once when it is loaded; null where
// the plugin has none.
struct PluginEntries {
    CVX_ENTRY_POINTS(CVX_ENTRY_FIELD)
};

// Codes that carry the error a script callback raised.
constexpr int32_t kFirstCallbackCode = 500000;

}  // namespace cvx

#endif
