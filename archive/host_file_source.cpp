#include "archive/host_file_source.h"

#include <limits.h>
#include <string.h>

#include "plugin/dates.h"
#include "plugin/plugin_state.h"

namespace {

// ------------------------------------------------- shared by both modes

void CloseHostFile(HostFileSourceState* state) {
    if (state->handle != 0) Files().CloseFile(state->handle);
    state->handle = 0;
}

// The state's own release, whichever mode: the source's free command, and
// a failure before there is a source.
void FreeState(HostFileSourceState* state) {
    CloseHostFile(state);
    System().Free(state);
}

zip_int64_t Read(HostFileSourceState* state, void* data, zip_uint64_t length) {
    // Host reads are counted in 32 bits; libzip asks for far less.
    const int32_t count = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
    const int32_t got = Files().ReadFile(state->handle, data, count);
    if (got < 0) zip_error_set(&state->error, ZIP_ER_READ, 0);
    return got;
}

// The commands both modes answer alike; every other one, each write command
// and anything newer, is refused.
zip_int64_t AnswerShared(HostFileSourceState* state, void* data, zip_uint64_t length,
                         zip_source_cmd_t command) {
    switch (command) {
        case ZIP_SOURCE_READ:
            return Read(state, data, length);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&state->error, data, length);
        case ZIP_SOURCE_FREE:
            FreeState(state);  // closes a stream-mode file still open
            return 0;
        default:
            return -1;
    }
}

// ---------------------------------------------------------- archive mode

zip_int64_t StatSize(const HostFileSourceState* state, void* data) {
    auto* st = static_cast<zip_stat_t*>(data);
    zip_stat_init(st);
    st->size = state->size;
    st->valid = ZIP_STAT_SIZE;
    return sizeof(zip_stat_t);
}

bool Seek(HostFileSourceState* state, void* data, zip_uint64_t length) {
    const int64_t current = Files().SeekFile(state->handle, 0, kSeekCurrent);
    if (current < 0) return false;
    const zip_int64_t target = zip_source_seek_compute_offset(static_cast<zip_uint64_t>(current),
                                                              state->size, data, length, nullptr);
    return target >= 0 && Files().SeekFile(state->handle, target, kSeekStart) >= 0;
}

// ----------------------------------------------------------- stream mode

// Examines the file: through its handle while the source is open, else
// by opening it for the moment. False when its date cannot be had.
bool ExamineDate(HostFileSourceState* state, time_t* date) {
    const HostFile file =
        state->handle != 0 ? state->handle : Files().OpenFile(state->path, kOpenRead);
    if (file == 0) return false;
    StatRecord info{};
    const bool examined = Files().ExamineFile(file, 0, &info, 0) != 0;
    if (file != state->handle) Files().CloseFile(file);
    if (examined) *date = DateGroupToTime(info.dates[0]);
    return examined;
}

// Examines the file anew unless its date is fixed. A date that cannot be
// had is stood in for by the last one reported (or, before any, the current
// date), for this once only: a file that can be examined again reports its
// own date again.
void TakeFileDate(HostFileSourceState* state) {
    time_t date;
    if (ExamineDate(state, &date)) {
        state->date = date;
        state->hasDate = 1;
    } else if (state->hasDate == 0) {
        DateGroup now{};
        System().GetCurrentDate(&now);
        state->date = DateGroupToTime(now);
        state->hasDate = 1;
    }
}

time_t FileTime(HostFileSourceState* state) {
    if (state->dateFixed == 0) TakeFileDate(state);
    return state->date;
}

// libzip opens a stream-mode source only to write its entry. The date taken
// now is kept from here on: libzip stats the source again once the entry is
// written, and traditional encryption needs the same time both times.
zip_int64_t OpenStream(HostFileSourceState* state) {
    if (state->handle == 0) state->handle = Files().OpenFile(state->path, kOpenRead);
    if (state->handle == 0) {
        zip_error_set(&state->error, ZIP_ER_OPEN, 0);
        return -1;
    }
    if (state->dateFixed == 0) {
        TakeFileDate(state);
        state->dateFixed = 1;
    }
    return 0;
}

// The time of the entry the source feeds: libzip answers with the time set
// on the entry, or else with what this source reports for itself, which it
// asks for on the way; that inner question is answered with the file's date.
time_t EntryTime(HostFileSourceState* state) {
    if (state->entryArchive != nullptr && state->askingEntry == 0) {
        state->askingEntry = 1;
        zip_stat_t entry;
        const int result = zip_stat_index(state->entryArchive, state->entryIndex, 0, &entry);
        state->askingEntry = 0;
        if (result == 0 && (entry.valid & ZIP_STAT_MTIME) != 0) return entry.mtime;
    }
    return FileTime(state);
}

// A file being added reports only a date: its size is learnt by reading it
// when the archive is written.
zip_int64_t StatDate(HostFileSourceState* state, void* data) {
    auto* st = static_cast<zip_stat_t*>(data);
    zip_stat_init(st);
    st->mtime = EntryTime(state);
    st->valid = ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

}  // namespace

// ------------------------------------------------------------- callbacks

extern "C" zip_int64_t ArchiveSourceCallback(void* userdata, void* data, zip_uint64_t length,
                                             zip_source_cmd_t command) {
    auto* state = static_cast<HostFileSourceState*>(userdata);
    switch (command) {
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
            // The file stays open and where it is from the first open to
            // the free command.
            return 0;
        case ZIP_SOURCE_STAT:
            return StatSize(state, data);
        case ZIP_SOURCE_SEEK:
            if (Seek(state, data, length)) return 0;
            zip_error_set(&state->error, ZIP_ER_SEEK, 0);
            return -1;
        case ZIP_SOURCE_TELL: {
            const int64_t position = Files().SeekFile(state->handle, 0, kSeekCurrent);
            if (position < 0) zip_error_set(&state->error, ZIP_ER_SEEK, 0);
            return position;
        }
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, -1);
        default:
            return AnswerShared(state, data, length, command);
    }
}

// Seeking, telling and the supports command are refused: libzip then takes
// the source for a plain readable one.
extern "C" zip_int64_t StreamSourceCallback(void* userdata, void* data, zip_uint64_t length,
                                            zip_source_cmd_t command) {
    auto* state = static_cast<HostFileSourceState*>(userdata);
    switch (command) {
        case ZIP_SOURCE_OPEN:
            return OpenStream(state);
        case ZIP_SOURCE_CLOSE:
            CloseHostFile(state);
            return 0;
        case ZIP_SOURCE_STAT:
            return StatDate(state, data);
        default:
            return AnswerShared(state, data, length, command);
    }
}

// ---------------------------------------------------------------- states

HostFileSourceState* NewArchiveSourceState(const char* path) {
    auto* state =
        static_cast<HostFileSourceState*>(System().Alloc(sizeof(HostFileSourceState), 1, "scb"));
    if (state == nullptr) return nullptr;
    state->handle = Files().OpenFile(path, kOpenRead | kOpenReadFlag8);
    if (state->handle == 0) {
        FreeState(state);
        return nullptr;
    }
    // Seeking to the end and back to the start answers the file's length.
    // A host that cannot seek this file cannot serve it as an archive.
    const int64_t atEnd = Files().SeekFile(state->handle, 0, kSeekEnd);
    const int64_t size = Files().SeekFile(state->handle, 0, kSeekStart);
    if (atEnd < 0 || size < 0) {
        FreeState(state);
        return nullptr;
    }
    state->size = static_cast<uint64_t>(size);
    return state;
}

zip_t* OpenHostArchive(const char* path) {
    HostFileSourceState* state = NewArchiveSourceState(path);
    if (state == nullptr) return nullptr;
    zip_source_t* source = zip_source_function_create(ArchiveSourceCallback, state, nullptr);
    if (source == nullptr) {
        FreeState(state);
        return nullptr;
    }
    zip_t* archive = zip_open_from_source(source, 0, nullptr);
    if (archive == nullptr) zip_source_free(source);  // its free command frees the state
    return archive;
}

HostFileSourceState* NewStreamSourceState(const char* path) {
    const size_t length = strlen(path);
    auto* state = static_cast<HostFileSourceState*>(
        System().Alloc(sizeof(HostFileSourceState) + length + 1, 1, "scb1"));
    if (state == nullptr) return nullptr;
    char* copy = reinterpret_cast<char*>(state + 1);
    memcpy(copy, path, length + 1);
    state->path = copy;
    return state;
}

void BindStreamSource(HostFileSourceState* state, zip_t* archive, zip_uint64_t index) {
    state->entryArchive = archive;
    state->entryIndex = index;
}
