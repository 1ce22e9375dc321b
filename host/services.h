// The host's service tables, as the plugin receives them.
#ifndef CVXHOST_SERVICES_H
#define CVXHOST_SERVICES_H

#include "plugin/host_interface.h"

struct lua_State;

namespace cvx {

const SystemServices* SystemServiceTable();
const FileServices* FileServiceTable();
const VmServices* VmServiceTable();

// The message that an error code stands for, its "%s" filled with the last
// SetErrorArg text; null when the code is unknown. It lives in the host's
// state until the next call (no frame owns it across a raising call).
const char* ErrorMessage(int32_t code);

// Pushes the error value for a failed command's code and raises it, with
// the script position in front of host messages. Does not return.
[[noreturn]] void RaiseCommandError(lua_State* L, int32_t code);

// Pushes the script's handle for an automatic identifier's handle word;
// false (nothing pushed) when the host's memory ran short.
bool PushObjectHandle(lua_State* L, uintptr_t word);
// The object with this handle word is unregistered: its handle dies.
void ForgetHandle(uintptr_t word);

}  // namespace cvx

#endif
