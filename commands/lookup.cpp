// zip.GetFileAtIndex and zip.LocateFile: between an entry's index and its
// name, as the names stand in the archive's current state.
#include <string.h>
#include <zip.h>

#include "commands/arguments.h"
#include "commands/commands.h"
#include "plugin/plugin_state.h"

extern "C" int32_t GetFileAtIndex(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    ObjectId id{};
    const ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;

    // Flags 0: a name neither marked as UTF-8 nor valid UTF-8 is taken as
    // CP437 and comes out converted, as zip.LocateFile compares it.
    const char* name = zip_get_name(record->archive, EntryIndex(index), 0);
    if (name == nullptr) return gPlugin.errZip;
    Vm().PushString(vm, name);
    return 1;
}

// A name that no entry has gives -1, never an error.
extern "C" int32_t LocateFile(VmState* vm) {
    size_t length = 0;
    const char* name = Vm().CheckString(vm, 2, &length);
    const int32_t argumentCount = Vm().GetTop(vm);
    ObjectId id{};
    const ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;

    zip_flags_t flags = 0;
    if (HasOptionTable(vm, argumentCount, 3)) {
        if (OptionFlag(vm, 3, "nocase")) flags = ZIP_FL_NOCASE;
        if (OptionFlag(vm, 3, "nodir")) flags |= ZIP_FL_NODIR;
    }
    // Entry names hold no zero byte, so a name with one matches none; libzip
    // would see only the part before it.
    const zip_int64_t found =
        strlen(name) == length ? zip_name_locate(record->archive, name, flags) : -1;
    Vm().PushNumber(vm, static_cast<double>(found));
    return 1;
}
