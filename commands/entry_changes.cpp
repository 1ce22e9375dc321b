#include "commands/entry_changes.h"

#include "archive/archive_registry.h"
#include "commands/arguments.h"
#include "commands/date_strings.h"
#include "commands/traditional_encryption.h"
#include "plugin/plugin_state.h"

int32_t LookupArchiveToChange(VmState* vm, zip_t** archive) {
    ObjectId id{};
    const ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;
    if (ArchiveIsGuarded(record)) return gPlugin.errZip;
    *archive = record->archive;
    return 0;
}

int32_t SetEntryEncryption(zip_t* archive, zip_uint64_t index, int32_t method,
                           const char* password) {
    const auto method16 = static_cast<zip_uint16_t>(method);
    if (method16 == ZIP_EM_TRAD_PKWARE && TimeDiffersFromStored(archive, index)) {
        return gPlugin.errZip;
    }
    if (password != nullptr && password[0] == '\0') password = nullptr;
    if (zip_file_set_encryption(archive, index, method16, password) != 0) return gPlugin.errZip;
    return 0;
}

int32_t SetEntryComment(zip_t* archive, zip_uint64_t index, const char* text, size_t length) {
    if (length > kMaxCommentLength) return kErrBadValue;
    if (length == 0) text = nullptr;
    if (zip_file_set_comment(archive, index, text, static_cast<zip_uint16_t>(length), 0) != 0) {
        return gPlugin.errZip;
    }
    return 0;
}

int32_t SetEntryTime(zip_t* archive, zip_uint64_t index, const char* dateString) {
    DateGroup date{};
    if (!ParseDateString(dateString, &date)) return kErrBadValue;
    if (MustKeepStoredTime(archive, index)) return gPlugin.errZip;
    if (zip_file_set_mtime(archive, index, DateGroupToTime(date), 0) != 0) return gPlugin.errZip;
    return 0;
}
