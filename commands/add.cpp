// zip.AddFile and zip.AddDirectory. Both only record the new entry in
// libzip; an added file's data is read through its still-open host file when
// the archive is written.
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

// The command's own copies of the string options; null when absent or when
// the copy could not be made.
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

OptionCopies CopyOptions(const AddOptions& options) {
    return OptionCopies{CopyStringOption(options.password), CopyStringOption(options.newName),
                        CopyStringOption(options.comment), CopyStringOption(options.time)};
}

void FreeOptionCopies(const OptionCopies& copies) {
    FreeStringOption(copies.time);
    FreeStringOption(copies.comment);
    FreeStringOption(copies.newName);
    FreeStringOption(copies.password);
}

// Opens the host file and adds the entry over a stream-mode source. On
// success libzip owns the source, its state and the open file; on failure
// whatever was taken has been released.
int32_t AddEntry(zip_t* archive, const char* path, const char* newName, zip_int64_t* index) {
    // libzip would add an entry without a name.
    if (newName != nullptr && newName[0] == '\0') return gPlugin.errZip;
    const HostFile file = Files().OpenFile(path, kOpenRead);
    if (file == 0) {
        System().SetErrorArg(path);
        return kErrOpenForReading;
    }
    auto* state =
        static_cast<HostFileSourceState*>(System().Alloc(sizeof(HostFileSourceState), 1, "scb1"));
    if (state == nullptr) {
        Files().CloseFile(file);
        return kErrNoMemory;
    }
    state->handle = file;
    state->stream = 1;
    zip_source_t* source = zip_source_function(archive, HostFileSourceCallback, state);
    if (source == nullptr) {
        System().Free(state);
        Files().CloseFile(file);
        return gPlugin.errZip;
    }
    const char* name = newName != nullptr ? newName : Files().FilePart(path);
    const zip_int64_t added =
        name[0] != '\0' ? zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8) : -1;
    if (added < 0) {
        zip_source_free(source);  // its free command closes the file and frees the state
        return gPlugin.errZip;
    }
    BindStreamSource(state, archive, static_cast<zip_uint64_t>(added));
    *index = added;
    return 0;
}

// In this order; a failure keeps what was applied before it.
int32_t ApplyOptions(zip_t* archive, zip_uint64_t index, const AddOptions& options,
                     const OptionCopies& copies) {
    if (options.encryption != 0) {
        const int32_t result =
            SetEntryEncryption(archive, index, options.encryption, copies.password);
        if (result != 0) return result;
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
// options applied before the one that failed.
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
    const OptionCopies copies = CopyOptions(options);
    Vm().SetTop(vm, argumentCount);
    zip_int64_t index = -1;
    int32_t result = AddEntry(record->archive, path, copies.newName, &index);
    if (result == 0) {
        result = ApplyOptions(record->archive, static_cast<zip_uint64_t>(index), options, copies);
    }
    FreeOptionCopies(copies);
    if (result != 0) return result;
    Vm().PushNumber(vm, static_cast<double>(index));
    return 1;
}

extern "C" int32_t AddDirectory(VmState* vm) {
    const char* name = Vm().CheckString(vm, 2, nullptr);
    zip_t* archive = nullptr;
    const int32_t found = LookupArchiveToChange(vm, &archive);
    if (found != 0) return found;
    if (name[0] == '\0') return gPlugin.errZip;  // libzip would add an entry named "/"
    const zip_int64_t index = zip_dir_add(archive, name, ZIP_FL_ENC_UTF_8);
    if (index < 0) return gPlugin.errZip;
    Vm().PushNumber(vm, static_cast<double>(index));
    return 1;
}
