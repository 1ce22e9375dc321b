// zip.AddFile and zip.AddDirectory. Both only record the new entry in
// libzip; an added file's data is read when the archive is written, through
// a host file that is opened only then.
#include <string.h>
#include <zip.h>

#include "archive/archive_registry.h"
#include "archive/host_file_source.h"
#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/entry_changes.h"
#include "plugin/plugin_state.h"

namespace {

// zip.AddFile's option table as read, strings still on the VM stack.
struct AddOptions {
    int32_t encryption;
    int32_t compression;
    int32_t compressionFlags;
    StringOption password;
    StringOption newName;
    StringOption comment;
    StringOption time;
};

// The command's own copies of the string options; null when absent.
struct OptionCopies {
    char* password;
    char* newName;
    char* comment;
    char* time;
};

// May raise: the command owns nothing yet.
void ReadOptions(VmState* vm, int32_t table, AddOptions* options) {
    options->encryption = OptionInteger(vm, table, "encryption", options->encryption);
    options->compression = OptionInteger(vm, table, "compression", options->compression);
    options->compressionFlags =
        OptionInteger(vm, table, "compressionflags", options->compressionFlags);
    PeekStringOption(vm, table, "password", &options->password);
    PeekStringOption(vm, table, "newname", &options->newName);
    PeekStringOption(vm, table, "comment", &options->comment);
    PeekStringOption(vm, table, "time", &options->time);
}

void FreeOptionCopies(const OptionCopies& copies) {
    FreeStringOption(copies.time);
    FreeStringOption(copies.comment);
    FreeStringOption(copies.newName);
    FreeStringOption(copies.password);
}

// All four copies, or none: the first failure's code, with the copies made
// before it released.
int32_t CopyOptions(const AddOptions& options, OptionCopies* copies) {
    *copies = OptionCopies{};
    int32_t result = CopyTextOption(options.password, &copies->password);
    if (result == 0) result = CopyTextOption(options.newName, &copies->newName);
    if (result == 0) result = CopyStringOption(options.comment, &copies->comment);
    if (result == 0) result = CopyStringOption(options.time, &copies->time);
    if (result != 0) FreeOptionCopies(*copies);
    return result;
}

// Makes sure the file can be opened (1045 at once, not when the archive is
// written), then adds the entry over a stream-mode source that holds no
// open file until libzip reads it. On success libzip owns the source and
// its state; on failure whatever was taken has been released.
int32_t AddEntry(zip_t* archive, const char* path, const char* newName, zip_int64_t* index) {
    const char* name = newName != nullptr ? newName : Files().FilePart(path);
    // libzip would add an entry without a name, and would store the length
    // of a longer one than the format holds cut to 16 bits.
    if (newName != nullptr && newName[0] == '\0') return gPlugin.errZip;
    if (strlen(name) > kMaxNameLength) return gPlugin.errZip;
    const HostFile file = Files().OpenFile(path, kOpenRead);
    if (file == 0) {
        System().SetErrorArg(path);
        return kErrOpenForReading;
    }
    Files().CloseFile(file);
    HostFileSourceState* state = NewStreamSourceState(path);
    if (state == nullptr) return kErrNoMemory;
    zip_source_t* source = zip_source_function(archive, HostFileSourceCallback, state);
    if (source == nullptr) {
        System().Free(state);
        return gPlugin.errZip;
    }
    const zip_int64_t added =
        name[0] != '\0' ? zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8) : -1;
    if (added < 0) {
        zip_source_free(source);  // its free command frees the state
        return gPlugin.errZip;
    }
    BindStreamSource(state, archive, static_cast<zip_uint64_t>(added));
    *index = added;
    return 0;
}

// In this order; a failure keeps what was applied before it, except that
// an entry whose encryption cannot be set is deleted: a script that catches
// the error would otherwise write its data unencrypted.
int32_t ApplyOptions(zip_t* archive, zip_uint64_t index, const AddOptions& options,
                     const OptionCopies& copies) {
    if (options.encryption != 0) {
        const int32_t result =
            SetEntryEncryption(archive, index, options.encryption, copies.password);
        if (result != 0) {
            zip_delete(archive, index);  // frees the source; cannot fail for a new entry
            return result;
        }
    }
    if (options.compression != ZIP_CM_DEFAULT) {
        const int32_t result =
            SetEntryCompression(archive, index, options.compression, options.compressionFlags);
        if (result != 0) return result;
    }
    if (copies.comment != nullptr) {
        const int32_t result =
            SetEntryComment(archive, index, copies.comment, options.comment.length);
        if (result != 0) return result;
    }
    if (copies.time != nullptr) return SetEntryTime(archive, index, copies.time);
    return 0;
}

}  // namespace

// A failure after the entry was added leaves it in the archive, with the
// options applied before the one that failed (but see ApplyOptions).
extern "C" int32_t AddFile(VmState* vm) {
    const char* path = Vm().CheckString(vm, 2, nullptr);
    const int32_t argumentCount = Vm().GetTop(vm);
    ObjectId id{};
    const ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;
    AddOptions options{ZIP_EM_NONE, ZIP_CM_DEFAULT, 0, {}, {}, {}, {}};
    if (HasOptionTable(vm, argumentCount, 3)) ReadOptions(vm, 3, &options);
    if (ArchiveIsGuarded(record)) {
        Vm().SetTop(vm, argumentCount);
        return gPlugin.errZip;
    }

    // Every fetch is done: from here on the command owns what it takes.
    OptionCopies copies{};
    int32_t result = CopyOptions(options, &copies);
    Vm().SetTop(vm, argumentCount);
    if (result != 0) return result;
    zip_int64_t index = -1;
    result = AddEntry(record->archive, path, copies.newName, &index);
    if (result == 0) {
        result = ApplyOptions(record->archive, static_cast<zip_uint64_t>(index), options, copies);
    }
    FreeOptionCopies(copies);
    if (result != 0) return result;
    Vm().PushNumber(vm, static_cast<double>(index));
    return 1;
}

extern "C" int32_t AddDirectory(VmState* vm) {
    size_t length = 0;
    const char* name = Vm().CheckString(vm, 2, &length);
    zip_t* archive = nullptr;
    const int32_t found = LookupArchiveToChange(vm, &archive);
    if (found != 0) return found;
    if (HoldsZeroByte(name, length)) return kErrBadValue;
    if (length == 0) return gPlugin.errZip;  // libzip would add an entry named "/"
    // libzip appends the slash, and would store the length cut to 16 bits:
    // a directory of 65,536 bytes would become a file without a name.
    if (length + (name[length - 1] == '/' ? 0 : 1) > kMaxNameLength) return gPlugin.errZip;
    const zip_int64_t index = zip_dir_add(archive, name, ZIP_FL_ENC_UTF_8);
    if (index < 0) return gPlugin.errZip;
    Vm().PushNumber(vm, static_cast<double>(index));
    return 1;
}
