// The host's own file functions for scripts, in the `host` table: each asks
// the plugin's file and directory adapter first and falls back to the real
// file system, as the host's file layer does.
#ifndef CVXHOST_FILE_LIBRARY_H
#define CVXHOST_FILE_LIBRARY_H

struct lua_State;

namespace cvx {

// Adds OpenFile, ReadFile, Stat and ListDirectory to the table on top of
// the stack.
void AddFileFunctions(lua_State* L);

}  // namespace cvx

#endif
