// zip.ExtractFile: copies the uncompressed data of one entry into a host
// file, 64 KiB at a time, telling an optional script callback the progress
// after each block.
//
// Sections: reading the arguments (everything that may raise), opening
// (entry statistics, entry, destination, buffer), the copy loop, the check
// that the entry really ended (and that an AES entry's authentication code
// matches), and the clean-up, which runs on every path in one fixed order.
#include <string.h>
#include <zip.h>

#include "archive/aes_authentication.h"
#include "archive/archive_record.h"
#include "archive/entry_stat.h"
#include "archive/entry_stream_end.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/progress.h"
#include "plugin/plugin_state.h"

namespace {

constexpr zip_uint64_t kBlockSize = 65536;

// What one call holds; Release gives it all back.
struct Extraction {
    int32_t stackTop;             // the top before the options were read
    int32_t callback = -1;        // stack index of the callback, or -1
    int32_t userdata = -1;        // stack index of the userdata value, or -1
    char* password = nullptr;     // "tstring" copy, or null: the default password applies
    char* defaultCopy = nullptr;  // "tstring" copy of the default an AES entry is checked with
    zip_file_t* entry = nullptr;  // open entry, or null
    HostFile destination = 0;     // open destination, or 0
    void* buffer = nullptr;       // kBlockSize bytes ("savefile"), or null
};

// The progress of a block that ends at done, in whole percent.
int32_t Percent(zip_uint64_t done, zip_uint64_t size) {
    return static_cast<int32_t>(static_cast<double>(done) / static_cast<double>(size) * 100.0);
}

// Once every declared byte was copied: the stream must end there, and an
// AES entry's authentication code must match, checked here with
// the password libzip decrypted with: the one given, or the default as it
// was when the entry was opened (a callback may change it meanwhile). libzip's own check of the
// code cannot be told from its spurious CRC error on such entries, and it may not be made at all
// for a compressed one; the CRC that older AES entries record guards against accidents, not against
// changes made on purpose. buffer (size bytes, any content) serves the check of the code.
bool EntryEndsIntact(const ArchiveObject* record, const zip_stat_t& stat, const Extraction& x,
                     unsigned char* buffer, size_t size) {
    if (EntryStreamEnd(x.entry, stat) == StreamEnd::kFault) return false;
    if (!IsAesEntry(stat)) return true;
    const char* password = x.password != nullptr ? x.password : x.defaultCopy;
    return AesCodeMatches(record->archive, stat, password, buffer, size);
}

int32_t CopyEntry(VmState* vm, const ArchiveObject* record, const ObjectId& id,
                  const zip_stat_t& stat, const Extraction& x) {
    const ProgressCallback progress{x.callback, x.userdata, "ExtractFile", &id};
    const zip_uint64_t size = stat.size;
    for (zip_uint64_t position = 0; position < size;) {
        const zip_uint64_t length = size - position < kBlockSize ? size - position : kBlockSize;
        const zip_int64_t got = zip_fread(x.entry, x.buffer, length);
        if (got < 0 || static_cast<zip_uint64_t>(got) != length) return gPlugin.errZip;
        const auto count = static_cast<int32_t>(got);
        if (Files().WriteFile(x.destination, x.buffer, count) != count) return kErrShortWrite;
        if (x.callback != -1) {
            // Only an error raised in the callback stops the copy.
            const int32_t status =
                CallProgressCallback(vm, progress, Percent(position + length, size), record);
            if (status != 0) return status;
        }
        position += length;
    }
    if (size == 0) return 0;  // checked before the destination was made
    return EntryEndsIntact(record, stat, x, static_cast<unsigned char*>(x.buffer), kBlockSize)
               ? 0
               : gPlugin.errZip;
}

// Opens, in this order: the entry's statistics, the entry, the destination
// and the buffer; then copies. What it opened stays in x for Release.
int32_t OpenAndCopy(VmState* vm, const ArchiveObject* record, const ObjectId& id, int32_t index,
                    const char* path, Extraction* x) {
    // What is read is the entry's stored data, whatever method a pending
    // change will give it when the archive is written: the checks below are
    // made against the stored entry.
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(record->archive, EntryIndex(index), ZIP_FL_UNCHANGED, &stat) != 0) {
        return gPlugin.errZip;
    }

    if (HasUndecryptableMethod(stat)) return gPlugin.errZip;
    const char* defaultPassword = DefaultPasswordOf(record);
    if (x->password == nullptr && IsAesEntry(stat) && defaultPassword != nullptr) {
        const StringOption current{defaultPassword, strlen(defaultPassword)};
        const int32_t copied = CopyStringOption(current, &x->defaultCopy);
        if (copied != 0) return copied;
    }
    // An empty password is a password: it does not fall back to the default.
    x->entry = x->password != nullptr
                   ? zip_fopen_index_encrypted(record->archive, EntryIndex(index), 0, x->password)
                   : zip_fopen_index(record->archive, EntryIndex(index), 0);
    if (x->entry == nullptr) return gPlugin.errZip;
    // No read reaches the end of an empty entry: it is checked before its
    // destination is made, so a corrupt one leaves nothing behind. Its
    // stored bytes are few: a small buffer serves.
    unsigned char few[64];
    if (stat.size == 0 && !EntryEndsIntact(record, stat, *x, few, sizeof few)) {
        return gPlugin.errZip;
    }

    x->destination = Files().OpenFile(path, kOpenWrite);
    if (x->destination == 0) {
        System().SetErrorArg(path);
        return kErrOpenForWriting;
    }
    x->buffer = System().Alloc(kBlockSize, 0, "savefile");
    if (x->buffer == nullptr) return kErrNoMemory;
    return CopyEntry(vm, record, id, stat, *x);
}

// A partly written destination is closed and left in place.
void Release(VmState* vm, const Extraction& x) {
    Vm().SetTop(vm, x.stackTop);  // the callback and userdata values
    if (x.buffer != nullptr) System().Free(x.buffer);
    if (x.destination != 0) Files().CloseFile(x.destination);
    if (x.entry != nullptr) zip_fclose(x.entry);
    FreeStringOption(x.defaultCopy);
    FreeStringOption(x.password);
}

}  // namespace

extern "C" int32_t ExtractFile(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    const char* path = Vm().CheckString(vm, 3, nullptr);
    const int32_t argumentCount = Vm().GetTop(vm);
    ObjectId id{};
    const ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;

    Extraction x{.stackTop = argumentCount};
    StringOption password{};
    if (HasOptionTable(vm, argumentCount, 4)) {
        // The password is copied only once the callback check cannot raise
        // any more, so a bad callback leaks nothing.
        PeekStringOption(vm, 4, "password", &password);
        x.callback = KeepOption(vm, 4, "callback");
        if (x.callback != -1) Vm().CheckFunction(vm, x.callback);
        x.userdata = KeepOption(vm, 4, "userdata");
    }
    const int32_t copied = CopyTextOption(password, &x.password);
    const int32_t result = copied != 0 ? copied : OpenAndCopy(vm, record, id, index, path, &x);
    Release(vm, x);
    return result;
}
