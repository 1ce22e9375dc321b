#include "commands/progress.h"

#include "archive/archive_registry.h"
#include "commands/arguments.h"
#include "plugin/plugin_state.h"

// Tag 31 is set before the table is built, not only around the call: the
// host then knows that a callback's arguments are on their way, possibly
// from inside libzip, and builds them without raising (a memory shortage
// makes CallFunction fail instead). Every call gets a table of its own, as
// the script may keep it.
int32_t CallProgressCallback(VmState* vm, const ProgressCallback& callback, int32_t percent,
                             const ArchiveObject* guarded) {
    const TagItem inCallback[] = {{kHostTagInCallback, 1}, {0, 0}};
    const TagItem outOfCallback[] = {{kHostTagInCallback, 0}, {0, 0}};
    System().SetHostTags(inCallback);
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
    const int32_t status = Vm().CallFunction(vm, 1, 0, 0);
    if (guarded != nullptr) ReleaseGuard(&guard);
    System().SetHostTags(outOfCallback);
    return status;
}
