// zip.DeleteFile, zip.RenameFile and zip.SetFileTime: an entry's place,
// name and time. Each is one libzip call; libzip's refusal is errZip.
#include <zip.h>

#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/entry_changes.h"
#include "plugin/plugin_state.h"

extern "C" int32_t DeleteFile(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    zip_t* archive = nullptr;
    const int32_t found = LookupArchiveToChange(vm, &archive);
    if (found != 0) return found;
    return zip_delete(archive, EntryIndex(index)) == 0 ? 0 : gPlugin.errZip;
}

// libzip refuses a name that another entry has, a name longer than the
// format holds, and turning a file entry into a directory entry (a name
// ending in "/") or back; an empty name, which it would take, is refused
// here, and a name holding a zero byte is 1055.
extern "C" int32_t RenameFile(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    size_t length = 0;
    const char* name = Vm().CheckString(vm, 3, &length);
    zip_t* archive = nullptr;
    const int32_t found = LookupArchiveToChange(vm, &archive);
    if (found != 0) return found;
    if (HoldsZeroByte(name, length)) return kErrBadValue;
    if (length == 0) return gPlugin.errZip;
    return zip_file_rename(archive, EntryIndex(index), name, ZIP_FL_ENC_UTF_8) == 0
               ? 0
               : gPlugin.errZip;
}

extern "C" int32_t SetFileTime(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    const char* dateString = Vm().CheckString(vm, 3, nullptr);
    zip_t* archive = nullptr;
    const int32_t found = LookupArchiveToChange(vm, &archive);
    if (found != 0) return found;
    return SetEntryTime(archive, EntryIndex(index), dateString);
}
