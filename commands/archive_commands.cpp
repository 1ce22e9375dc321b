// zip.OpenArchive, zip.CloseArchive and zip.GetObjectType.
#include <zip.h>

#include "archive/archive_registry.h"
#include "archive/host_file_source.h"
#include "archive/reencoded_entries.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/progress.h"
#include "plugin/plugin_state.h"

namespace {

constexpr int32_t kModeChange = 1004;    // open for changes, create when missing
constexpr int32_t kModeRead = 1005;      // read an existing archive
constexpr int32_t kModeTruncate = 1006;  // start a new, empty archive

// zip.CloseArchive(id[,discard,callback,userdata]): where its arguments sit.
constexpr int32_t kCloseDiscard = 2;
constexpr int32_t kCloseCallback = 3;
constexpr int32_t kCloseUserdata = 4;

// The first record with this number as a numeric identifier.
ArchiveObject* FindNumbered(int32_t number) {
    const ObjectId id{number, 0};
    return FindArchive(id);
}

struct CloseProgressState {
    VmState* vm;
    const ObjectId* id;
    bool hasUserdata;
};

extern "C" void CloseProgressCallback(zip_t*, double progress, void* userdata) {
    const auto* state = static_cast<const CloseProgressState*>(userdata);
    const ProgressCallback callback{.function = kCloseCallback,
                                    .userdata = state->hasUserdata ? kCloseUserdata : -1,
                                    .action = "CloseArchive",
                                    .id = state->id};
    // This runs inside zip_close, which nothing may unwind: the call never
    // raises, not even when the VM has no memory for the table. The callback
    // cannot stop the writing: its result is not looked at. The record has
    // left the registry, so there is nothing to guard.
    CallProgressCallback(state->vm, callback, TruncateToInt32(progress * 100.0), nullptr);
}

}  // namespace

extern "C" int32_t OpenArchive(VmState* vm) {
    const char* fileName = Vm().CheckFileName(vm, 2);
    const double modeNumber = Vm().OptNumber(vm, 3, kModeRead);
    ObjectId id{};
    Vm().GetNewObjectId(vm, 1, &id);

    const int32_t mode = TruncateToInt32(modeNumber);
    int flags = 0;
    if (mode == kModeChange) {
        flags = ZIP_CREATE;
    } else if (mode == kModeTruncate) {
        flags = ZIP_CREATE | ZIP_TRUNCATE;
    } else if (mode != kModeRead) {
        return kErrBadValue;
    }

    // A numeric identifier names one archive: an older one under the same
    // number is discarded unwritten, even if the new one fails to open.
    if (id.handle == 0) {
        ArchiveObject* old = FindNumbered(id.number);
        if (old != nullptr) {
            if (ArchiveIsGuarded(old)) return gPlugin.errZip;
            DiscardArchive(vm, old);
        }
    }

    ArchiveObject* record = NewArchiveRecord();
    if (record == nullptr) return kErrNoMemory;
    record->archive =
        mode == kModeRead ? OpenHostArchive(fileName) : zip_open(fileName, flags, nullptr);
    if (record->archive == nullptr) {
        FreeArchiveRecord(record);
        System().SetErrorArg(fileName);
        return gPlugin.errOpenArchive;
    }

    record->type = gPlugin.objectTypeId;
    record->idNumber = id.number;
    // An automatic identifier is the record's own address.
    record->idHandle = id.handle != 0 ? reinterpret_cast<uintptr_t>(record) : 0;
    AppendArchive(record);
    if (record->idHandle == 0) return 0;
    Vm().PushHandle(vm, record->idHandle);
    return 1;
}

// Writes (or discards) the archive. The record leaves the registry before
// libzip starts writing, so a progress callback that names the archive finds
// nothing to close, reopen or change. A failed write is reported, and the
// archive file is left as it was: libzip replaces it only on success.
extern "C" int32_t CloseArchive(VmState* vm) {
    const double discard = Vm().OptNumber(vm, kCloseDiscard, 0);
    const int32_t argumentCount = Vm().GetTop(vm);
    ObjectId id{};
    ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;
    const bool hasCallback = argumentCount >= kCloseCallback;
    if (hasCallback) Vm().CheckFunction(vm, kCloseCallback);
    if (ArchiveIsGuarded(record)) return gPlugin.errZip;

    CloseProgressState progress{vm, &id, argumentCount >= kCloseUserdata};
    if (hasCallback) {
        zip_register_progress_callback_with_state(record->archive, 0.001, CloseProgressCallback,
                                                  nullptr, &progress);
    }
    WithdrawArchive(vm, record);

    int32_t result = 0;
    if (TruncateToInt32(discard) == 0) {
        if (ReencodedEntriesAreIntact(record) && zip_close(record->archive) == 0) {
            record->archive = nullptr;  // written and closed
        } else {
            result = gPlugin.errZip;
        }
    }
    FreeArchiveRecord(record);  // discards an archive not written
    return result;
}

extern "C" int32_t GetObjectType(VmState* vm) {
    Vm().PushNumber(vm, gPlugin.objectTypeId);
    return 1;
}
