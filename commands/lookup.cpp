// Not yet built: these commands answer with the plugin's zip error until they land.
#include "commands/commands.h"
#include "plugin/plugin_state.h"

extern "C" int32_t GetFileAtIndex(VmState*) { return gPlugin.errZip; }
extern "C" int32_t LocateFile(VmState*) { return gPlugin.errZip; }
