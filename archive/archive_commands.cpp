// zip.OpenArchive, zip.CloseArchive and zip.GetObjectType.
#include "commands/commands.h"
#include "plugin/plugin_state.h"

// Not yet built: answered with the plugin's zip error until it lands.
extern "C" int32_t OpenArchive(VmState*) { return gPlugin.errZip; }
extern "C" int32_t CloseArchive(VmState*) { return gPlugin.errZip; }

extern "C" int32_t GetObjectType(VmState* vm) {
    Vm().PushNumber(vm, gPlugin.objectTypeId);
    return 1;
}
