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

// A string option of zip.AddFile: as read (its value on the VM stack until
// the command sets the top back), then the command's own copy (or null).
struct CopiedOption {
    StringOption read;
    char* copy;
};

// zip.AddFile's option table.
struct AddOptions {
    int32_t encryption = ZIP_EM_NONE;
    int32_t compression = ZIP_CM_DEFAULT;
    int32_t compressionFlags = 0;
    CopiedOption password{};
    CopiedOption newName{};
    CopiedOption comment{};
    CopiedOption time{};
};

// May raise: the command owns nothing yet.
void ReadOptions(VmState* vm, int32_t table, AddOptions* options) {
    options->encryption = OptionInteger(vm, table, "encryption", options->encryption);
    options->compression = OptionInteger(vm, table, "compression", options->compression);
    options->compressionFlags =
        OptionInteger(vm, table, "compressionflags", options->compressionFlags);
    PeekStringOption(vm, table, "password", &options->password.read);
    PeekStringOption(vm, table, "newname", &options->newName.read);
    PeekStringOption(vm, table, "comment", &options->comment.read);
    PeekStringOption(vm, table, "time", &options->time.read);
}

void FreeOptionCopies(AddOptions* options) {
    FreeStringOption(options->time.copy);
    FreeStringOption(options->comment.copy);
    FreeStringOption(options->newName.copy);
    FreeStringOption(options->password.copy);
    options->time.copy = options->comment.copy = options->newName.copy = nullptr;
    options->password.copy = nullptr;
}

// All four copies, or none: the first failure's code, with the copies made
// before it released. Names and passwords may hold no zero byte.
int32_t CopyOptions(AddOptions* options) {
    int32_t result = CopyTextOption(options->password.read, &options->password.copy);
    if (result == 0) result = CopyTextOption(options->newName.read, &options->newName.copy);
    if (result == 0) result = CopyStringOption(options->comment.read, &options->comment.copy);
    if (result == 0) result = CopyStringOption(options->time.read, &options->time.copy);
    if (result != 0) FreeOptionCopies(options);
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
    zip_source_t* source = zip_source_function(archive, StreamSourceCallback, state);
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
int32_t ApplyOptions(zip_t* archive, zip_uint64_t index, const AddOptions& options) {
    if (options.encryption != 0) {
        const int32_t result =
            SetEntryEncryption(archive, index, options.encryption, options.password.copy);
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
    if (options.comment.copy != nullptr) {
        const int32_t result =
            SetEntryComment(archive, index, options.comment.copy, options.comment.read.length);
        if (result != 0) return result;
    }
    if (options.time.copy != nullptr) return SetEntryTime(archive, index, options.time.copy);
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
    AddOptions options{};
    if (HasOptionTable(vm, argumentCount, 3)) ReadOptions(vm, 3, &options);
    if (ArchiveIsGuarded(record)) {
        Vm().SetTop(vm, argumentCount);
        return gPlugin.errZip;
    }

    // Every fetch is done: from here on the command owns what it takes.
    int32_t result = CopyOptions(&options);
    Vm().SetTop(vm, argumentCount);
    if (result != 0) return result;
    zip_int64_t index = -1;
    result = AddEntry(record->archive, path, options.newName.copy, &index);
    if (result == 0) {
        result = ApplyOptions(record->archive, static_cast<zip_uint64_t>(index), options);
    }
    FreeOptionCopies(&options);
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
