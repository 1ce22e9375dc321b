#include "commands/progress.h"

#include "archive/archive_registry.h"
#include "commands/arguments.h"
#include "plugin/plugin_state.h"

int32_t CallProgressCallback(VmState* vm, const ProgressCallback& callback, int32_t percent,
                             const ArchiveObject* guarded) {
    Vm().PushValue(vm, callback.function);
    Vm().NewTable(vm);
    SetStringField(vm, "action", callback.action);
    Vm().PushString(vm, "id");
    PushIdentifier(vm, *callback.id);
    Vm().SetTable(vm, -3);
    SetNumberField(vm, "progress", percent);
    if (callback.userdata != -1) SetValueField(vm, "userdata", callback.userdata);

    // The guard is linked only around CallFunction, which never raises, so
    // it is always unlinked again.
    ArchiveGuard guard;
    if (guarded != nullptr) GuardArchive(&guard, guarded);
    const TagItem inCallback[] = {{kHostTagInCallback, 1}, {0, 0}};
    const TagItem outOfCallback[] = {{kHostTagInCallback, 0}, {0, 0}};
    System().SetHostTags(inCallback);
    const int32_t status = Vm().CallFunction(vm, 1, 0, 0);
    System().SetHostTags(outOfCallback);
    if (guarded != nullptr) ReleaseGuard(&guard);
    return status;
}
