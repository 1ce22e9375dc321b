// The host's service tables, as the plugin receives them.
#ifndef CVXHOST_SERVICES_H
#define CVXHOST_SERVICES_H

#include <sys/stat.h>

#include "plugin/host_interface.h"

struct lua_State;

namespace cvx {

const SystemServices* SystemServiceTable();
const FileServices* FileServiceTable();
const VmServices* VmServiceTable();

// The message that an error code stands for, with a "%s" that stands for
// the last SetErrorArg text; null when the code is unknown.
const char* ErrorText(int32_t code);

// Pushes the error value for a failed command's code and raises it, with
// the script position in front of host messages. Does not return.
[[noreturn]] void RaiseCommandError(lua_State* L, int32_t code);

// Pushes the script's handle for an automatic identifier's handle word;
// false (nothing pushed) when the host's memory ran short.
bool PushObjectHandle(lua_State* L, uintptr_t word);
// The object with this handle word is unregistered: its handle dies.
void ForgetHandle(uintptr_t word);

// Truncates toward zero and saturates at the 32-bit range, as every host
// conversion of a script number to a word does.
int32_t TruncateToInt32(double value);

// Local time as a DateGroup (month from 0, full year).
DateGroup DateFromTime(long long seconds);
// A file's record: its size (0 for a directory) and modification time.
StatRecord RecordFromStat(const struct stat& st, const char* name);

}  // namespace cvx

#endif
