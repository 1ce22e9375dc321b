#include "commands/entry_changes.h"

#include "archive/archive_registry.h"
#include "commands/arguments.h"
#include "commands/date_strings.h"
#include "archive/traditional_encryption.h"
#include "plugin/plugin_state.h"

int32_t LookupRecordToChange(VmState* vm, ArchiveObject** record) {
    ObjectId id{};
    *record = LookupArchive(vm, &id);
    if (*record == nullptr) return gPlugin.errNoArchive;
    if (ArchiveIsGuarded(*record)) return gPlugin.errZip;
    return 0;
}

int32_t LookupArchiveToChange(VmState* vm, zip_t** archive) {
    ArchiveObject* record = nullptr;
    const int32_t found = LookupRecordToChange(vm, &record);
    if (found == 0) *archive = record->archive;
    return found;
}

int32_t SetEntryEncryption(zip_t* archive, zip_uint64_t index, int32_t method,
                           const char* password) {
    const auto method16 = static_cast<zip_uint16_t>(method);
    if (method16 == ZIP_EM_TRAD_PKWARE && TimeDiffersFromStored(archive, index)) {
        return gPlugin.errZip;
    }
    // libzip 1.7.3 drops, without freeing it, a password that the entry was
    // given earlier when it is given another: setting the method alone first
    // releases the earlier one.
    if (zip_file_set_encryption(archive, index, method16, nullptr) != 0) return gPlugin.errZip;
    if (password != nullptr && password[0] != '\0') {
        return zip_file_set_encryption(archive, index, method16, password) == 0 ? 0
                                                                                : gPlugin.errZip;
    }
    // Asked for the entry's stored method without a password, libzip only
    // clears its "changed" mark and keeps the method set before: a new entry
    // would still be encrypted (or fail to be written), an existing one
    // written with a header claiming the other method. Setting the method
    // with a password first makes it record the method; the second call then
    // drops the password so that the archive's default one applies.
    if (zip_file_set_encryption(archive, index, method16, "") != 0) return gPlugin.errZip;
    if (zip_file_set_encryption(archive, index, method16, nullptr) != 0) return gPlugin.errZip;
    return 0;
}

int32_t SetEntryCompression(zip_t* archive, zip_uint64_t index, int32_t method, int32_t flags) {
    zip_stat_t current{};
    zip_stat_t stored{};
    zip_stat_init(&current);
    zip_stat_init(&stored);
    const bool existing = zip_stat_index(archive, index, ZIP_FL_UNCHANGED, &stored) == 0 &&
                          (stored.valid & ZIP_STAT_COMP_METHOD) != 0;
    if (existing && method == stored.comp_method) {
        // Asked for its stored method, libzip only clears its "changed" mark
        // and keeps the method set before, which is then written in the
        // header over the data copied as it is stored. Deflate can be asked
        // for by its other name, which libzip does record; any other method
        // cannot be restored while another change of the entry is pending.
        if (zip_stat_index(archive, index, 0, &current) != 0) return gPlugin.errZip;
        if (current.comp_method != stored.comp_method) {
            if (method != ZIP_CM_DEFLATE) return gPlugin.errZip;
            method = ZIP_CM_DEFAULT;
        }
    } else if (!existing && method == ZIP_CM_DEFAULT) {
        // The same for a new entry, whose method stays ZIP_CM_DEFAULT until
        // set: any other method set before would be kept.
        method = ZIP_CM_DEFLATE;
    }
    return zip_set_file_compression(archive, index, method, static_cast<zip_uint32_t>(flags)) == 0
               ? 0
               : gPlugin.errZip;
}

int32_t SetEntryComment(zip_t* archive, zip_uint64_t index, const char* text, size_t length) {
    if (length > kMaxCommentLength) return kErrBadValue;
    if (length == 0) text = nullptr;
    if (zip_file_set_comment(archive, index, text, static_cast<zip_uint16_t>(length), 0) != 0) {
        return gPlugin.errZip;
    }
    return 0;
}

namespace {

// Extended timestamps (Info-ZIP's and bsdtar's 0x5455, 7-Zip's NTFS times
// 0x000a) are what most readers show and restore in place of the header's
// time: an entry that is re-dated loses them.
constexpr zip_uint16_t kExtendedTimeFields[] = {0x5455, 0x000a};

bool DropExtendedTimes(zip_t* archive, zip_uint64_t index) {
    for (const zip_uint16_t id : kExtendedTimeFields) {
        if (zip_file_extra_field_delete_by_id(archive, index, id, ZIP_EXTRA_FIELD_ALL,
                                              ZIP_FL_LOCAL | ZIP_FL_CENTRAL) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

int32_t SetEntryTime(zip_t* archive, zip_uint64_t index, const char* dateString) {
    DateGroup date{};
    if (!ParseDateString(dateString, &date)) return kErrBadValue;
    const time_t time = DateGroupToTime(date);
    if (!ZipCanHoldTime(time)) return kErrBadValue;
    if (MustKeepStoredTime(archive, index)) return gPlugin.errZip;
    // The fields first: once they are gone, setting the time cannot fail
    // for want of memory, since the entry's changed record exists.
    if (!DropExtendedTimes(archive, index)) return gPlugin.errZip;
    if (zip_file_set_mtime(archive, index, time, 0) != 0) return gPlugin.errZip;
    return 0;
}
