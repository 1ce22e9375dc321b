// Not yet built: these commands answer with the plugin's zip error until they land.
#include "commands/commands.h"
#include "plugin/plugin_state.h"

extern "C" int32_t GetFileAttributes(VmState*) { return gPlugin.errZip; }
