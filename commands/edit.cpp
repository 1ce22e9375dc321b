// Not yet built: these commands answer with the plugin's zip error until they land.
#include "commands/commands.h"
#include "plugin/plugin_state.h"

extern "C" int32_t DeleteFile(VmState*) { return gPlugin.errZip; }
extern "C" int32_t RenameFile(VmState*) { return gPlugin.errZip; }
extern "C" int32_t SetDefaultPassword(VmState*) { return gPlugin.errZip; }
extern "C" int32_t SetFileEncryption(VmState*) { return gPlugin.errZip; }
extern "C" int32_t SetFileCompression(VmState*) { return gPlugin.errZip; }
extern "C" int32_t SetFileComment(VmState*) { return gPlugin.errZip; }
extern "C" int32_t GetFileComment(VmState*) { return gPlugin.errZip; }
extern "C" int32_t SetFileTime(VmState*) { return gPlugin.errZip; }
