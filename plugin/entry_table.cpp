// The plugin header, the entry table and the lookup function.
#include <string.h>

#include "plugin/entry_points.h"

namespace {

struct EntryRow {
    const char* name;
    EntryPoint function;
};

template <typename F>
constexpr EntryPoint Entry(F f) {
    return reinterpret_cast<EntryPoint>(f);
}

// Order and names are part of the host interface.
const EntryRow kEntryTable[] = {
    {"InitPlugin", Entry(InitPlugin)},
    {"ClosePlugin", Entry(ClosePlugin)},
    {"RequirePlugin", Entry(RequirePlugin)},
    {"FOpen", Entry(FOpen)},
    {"FClose", Entry(FClose)},
    {"FRead", Entry(FRead)},
    {"FGetC", Entry(FGetC)},
    {"FWrite", Entry(FWrite)},
    {"FPutC", Entry(FPutC)},
    {"FSeek", Entry(FSeek)},
    {"FFlush", Entry(FFlush)},
    {"FEof", Entry(FEof)},
    {"Stat", Entry(Stat)},
    {"FStat", Entry(FStat)},
    {"OpenDir", Entry(OpenDir)},
    {"CloseDir", Entry(CloseDir)},
    {"NextDirEntry", Entry(NextDirEntry)},
    {"GetBaseTable", Entry(GetBaseTable)},
    {"GetCommands", Entry(GetCommands)},
    {"GetConstants", Entry(GetConstants)},
    {"GetHelpStrings", Entry(GetHelpStrings)},
    {"InitLibrary", Entry(InitLibrary)},
    {"FreeLibrary", Entry(FreeLibrary)},
    {"GetExtensions", Entry(GetExtensions)},
    {nullptr, nullptr},
};
static_assert(sizeof(kEntryTable) / sizeof(kEntryTable[0]) == 24 + 1, "24 entry points");

// Exact, case-sensitive match; the first equal name wins.
EntryPoint Lookup(const char* name) {
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
