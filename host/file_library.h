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

// Closes every file the scripts still hold open, newest first (an adapter
// file before the real file it was opened inside). Called when the scripts
// are over, before the plugin is shut down: a file object collected later
// finds its file closed, and the plugin keeps no list of its own handles.
void CloseScriptFiles();

}  // namespace cvx

#endif
