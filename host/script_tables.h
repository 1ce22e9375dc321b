// The tables a script sees: the plugin's library and the host's own.
#ifndef CVXHOST_SCRIPT_TABLES_H
#define CVXHOST_SCRIPT_TABLES_H

#include "plugin/host_interface.h"

struct lua_State;

namespace cvx {

// The plugin's library table (named by GetBaseTable) and its constants
// (zip_table.cpp).
void OpenScriptLibrary(lua_State* L);
// The `host` table (host_table.cpp), with the functions added below.
void OpenHostLibrary(lua_State* L);

// The file functions ask the plugin's adapter first and fall back to the
// real file system, as the host's file layer does. Added to the table on
// top: host.OpenFile, host.ReadFile (file_library.cpp); host.Stat,
// host.ListDirectory (stat_library.cpp).
void AddFileFunctions(lua_State* L);
void AddStatFunctions(lua_State* L);
// Closes every file the scripts still hold, newest first (an adapter file
// before the real file it was opened inside); called before the plugin is
// shut down, since the plugin keeps no list of its handles.
void CloseScriptFiles();

// A stat table for r, from source ("adapter" or "file"). May raise.
void PushStatTable(lua_State* L, const StatRecord& r, const char* source);
// The same for an adapter's record, taking over a name block that passed
// to the caller (kStatFullName in flags) also when making the table raises.
void PushAdapterStat(lua_State* L, const StatRecord& r, int32_t flags);
// kStatFullName when the options table at index options asks for it.
int32_t StatFlags(lua_State* L, int options);

}  // namespace cvx

#endif
