// zip.SetFileComment and zip.GetFileComment. Index -1, the default, stands
// for the archive's own comment.
#include <zip.h>

#include "archive/archive_registry.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/entry_changes.h"
#include "plugin/plugin_state.h"

namespace {

constexpr int32_t kArchiveComment = -1;

}  // namespace

// libzip takes an archive comment only in UTF-8 (or plain ASCII); an entry
// comment may hold any bytes.
extern "C" int32_t SetFileComment(VmState* vm) {
    size_t length = 0;
    const char* text = Vm().OptString(vm, 2, nullptr, &length);
    const int32_t index = TruncateToInt32(Vm().OptNumber(vm, 3, kArchiveComment));
    ObjectId id{};
    ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;
    if (ArchiveIsGuarded(record)) return gPlugin.errZip;
    if (text == nullptr) length = 0;
    if (index != kArchiveComment) {
        return SetEntryComment(record->archive, EntryIndex(index), text, length);
    }
    if (length > kMaxCommentLength) return kErrBadValue;
    if (length == 0) text = nullptr;
    if (zip_set_archive_comment(record->archive, text, static_cast<zip_uint16_t>(length)) != 0) {
        return gPlugin.errZip;
    }
    RecordOf(record)->commentRemoved = length == 0 ? 1 : 0;
    return 0;
}

// Pending changes are seen. No comment, and any entry that libzip cannot
// answer for, give the empty string: the command never fails once the
// archive is found.
extern "C" int32_t GetFileComment(VmState* vm) {
    const int32_t index = TruncateToInt32(Vm().OptNumber(vm, 2, kArchiveComment));
    ObjectId id{};
    ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;
    const char* comment = nullptr;
    size_t length = 0;
    if (index == kArchiveComment && RecordOf(record)->commentRemoved != 0) {
        comment = "";
    } else if (index == kArchiveComment) {
        int archiveLength = 0;
        comment = zip_get_archive_comment(record->archive, &archiveLength, 0);
        length = archiveLength > 0 ? static_cast<size_t>(archiveLength) : 0;
    } else {
        zip_uint32_t entryLength = 0;
        comment = zip_file_get_comment(record->archive, EntryIndex(index), &entryLength, 0);
        length = entryLength;
    }
    if (comment == nullptr) length = 0;
    Vm().PushStringLen(vm, comment != nullptr ? comment : "", length);
    return 1;
}
