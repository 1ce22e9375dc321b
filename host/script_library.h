// The tables a script sees: the plugin's library and the host's own.
#ifndef CVXHOST_SCRIPT_LIBRARY_H
#define CVXHOST_SCRIPT_LIBRARY_H

struct lua_State;

namespace cvx {

// The plugin's library table (named by GetBaseTable) and its constants.
void OpenScriptLibrary(lua_State* L);
// The `host` table: attribute queries, accounting and fault injection.
void OpenHostLibrary(lua_State* L);

}  // namespace cvx

#endif
