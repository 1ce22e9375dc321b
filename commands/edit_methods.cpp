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

namespace {

// A new password for the method the entry is stored with: libzip then
// encrypts the entry anew, which the close must know to check it.
bool IsReencryption(zip_t* archive, zip_uint64_t index, int32_t method, const char* password) {
    zip_stat_t stored;
    return password != nullptr && password[0] != '\0' &&
           zip_stat_index(archive, index, ZIP_FL_UNCHANGED, &stored) == 0 &&
           (stored.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 &&
           stored.encryption_method != ZIP_EM_NONE &&
           stored.encryption_method == static_cast<zip_uint16_t>(method);
}

}  // namespace

extern "C" int32_t SetFileEncryption(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    const int32_t method = TruncateToInt32(Vm().CheckNumber(vm, 3));
    size_t length = 0;
    const char* password = Vm().OptString(vm, 4, nullptr, &length);
    ArchiveObject* record = nullptr;
    const int32_t found = LookupRecordToChange(vm, &record);
    if (found != 0) return found;
    if (HoldsZeroByte(password, length)) return kErrBadValue;
    const zip_uint64_t entry = EntryIndex(index);
    const bool reencryption = IsReencryption(record->archive, entry, method, password);
    // The mark first: once libzip holds the change, it must not go unchecked.
    if (reencryption && !MarkReencrypted(record, entry, true)) return kErrNoMemory;
    const int32_t result = SetEntryEncryption(record->archive, entry, method, password);
    // A change that failed may have left an earlier one in place: its mark stays.
    if (result == 0 && !reencryption) MarkReencrypted(record, entry, false);
    return result;
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
