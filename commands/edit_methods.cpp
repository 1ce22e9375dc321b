// zip.SetDefaultPassword, zip.SetFileEncryption and zip.SetFileCompression.
// Method numbers and flags go to libzip as they are, which decides what it
// can write.
#include <zip.h>

#include "archive/archive_record.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/entry_changes.h"
#include "plugin/plugin_state.h"

// Allowed while an extraction guards the archive: the password of an entry
// already open does not change. An empty password removes the default; one
// holding a zero byte is 1055 (libzip would keep only the part before it).
extern "C" int32_t SetDefaultPassword(VmState* vm) {
    size_t length = 0;
    const char* password = Vm().CheckString(vm, 2, &length);
    ObjectId id{};
    ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;
    if (HoldsZeroByte(password, length)) return kErrBadValue;
    if (!RememberDefaultPassword(record, password)) return kErrNoMemory;
    zip_set_default_password(record->archive, password[0] != '\0' ? password : nullptr);
    return 0;
}

extern "C" int32_t SetFileEncryption(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    const int32_t method = TruncateToInt32(Vm().CheckNumber(vm, 3));
    size_t length = 0;
    const char* password = Vm().OptString(vm, 4, nullptr, &length);
    zip_t* archive = nullptr;
    const int32_t found = LookupArchiveToChange(vm, &archive);
    if (found != 0) return found;
    if (HoldsZeroByte(password, length)) return kErrBadValue;
    return SetEntryEncryption(archive, EntryIndex(index), method, password);
}

// Flags are the compression level: a negative one reaches libzip as a huge
// level, which it refuses.
extern "C" int32_t SetFileCompression(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    const int32_t method = TruncateToInt32(Vm().CheckNumber(vm, 3));
    const int32_t flags = TruncateToInt32(Vm().OptNumber(vm, 4, 0));
    zip_t* archive = nullptr;
    const int32_t found = LookupArchiveToChange(vm, &archive);
    if (found != 0) return found;
    return SetEntryCompression(archive, EntryIndex(index), method, flags);
}
