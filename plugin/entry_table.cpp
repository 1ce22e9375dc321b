// The plugin header, the entry table and the lookup function.
#include <string.h>

#include "plugin/entry_points.h"

namespace {

struct EntryRow {
    const char* name;
    EntryPoint function;
};

// The explicit type makes a function whose signature drifts from its row in
// the list fail to compile; the cast is then the host interface's own.
template <typename Fn>
constexpr EntryPoint Entry(Fn function) {
    return reinterpret_cast<EntryPoint>(function);
}

// Order and names are part of the host interface.
#define ZIPCVX_ENTRY_ROW(name, result, params) {#name, Entry<name##Fn>(name)},
const EntryRow kEntryTable[] = {
    CVX_ENTRY_POINTS(ZIPCVX_ENTRY_ROW){nullptr, nullptr},
};
#undef ZIPCVX_ENTRY_ROW
static_assert(sizeof(kEntryTable) / sizeof(kEntryTable[0]) == kEntryPointCount + 1,
              "one row per entry point and the end row");

// Exact, case-sensitive match; the first equal name wins. A null name is
// answered like an unknown one.
EntryPoint Lookup(const char* name) {
    if (name == nullptr) return nullptr;
    for (const EntryRow* row = kEntryTable; row->name != nullptr; ++row) {
        if (strcmp(row->name, name) == 0) return row->function;
    }
    return nullptr;
}
// No symbol names the header: the host finds it by its magic. "used" keeps
// it in the file although nothing in the plugin refers to it.
[[gnu::used]] const PluginHeader kPluginHeader = {
    {'C', 'A', 'L', 'V', 'O', 'R', 'A', 'X'},
    kPluginHeaderVersion,
    Lookup,
};

[[gnu::used]] const char kVersionTag[] = "$VER: zip.cvx 1.0 (19.11.17) [Linux]";

}  // namespace
