#include "archive/host_file_source.h"

#include <limits.h>

#include "commands/date_strings.h"
#include "plugin/plugin_state.h"

namespace {

// The file's own date. Once it cannot be had, the source keeps reporting
// the last date it reported (or, before any, the current date), so that
// every stat while the archive is written reports the same time.
time_t FileTime(HostFileSourceState* state) {
    if (state->dateFixed == 0) {
        StatRecord info{};
        if (Files().ExamineFile(state->handle, 0, &info, 0) != 0) {
            state->date = DateGroupToTime(info.dates[0]);
            state->hasDate = 1;
            return state->date;
        }
        if (state->hasDate == 0) {
            DateGroup now{};
            System().GetCurrentDate(&now);
            state->date = DateGroupToTime(now);
            state->hasDate = 1;
        }
        state->dateFixed = 1;
    }
    return state->date;
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

zip_int64_t Stat(HostFileSourceState* state, void* data) {
    auto* st = static_cast<zip_stat_t*>(data);
    zip_stat_init(st);
    if (state->stream == 0) {
        st->size = state->size;
        st->valid = ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
    }
    // A file being added reports only a date: its size is learnt by reading
    // it when the archive is written.
    st->mtime = EntryTime(state);
    st->valid = ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

zip_int64_t Seek(HostFileSourceState* state, void* data, zip_uint64_t length) {
    const int64_t current = Files().SeekFile(state->handle, 0, kSeekCurrent);
    if (current < 0) return -1;
    const zip_int64_t target = zip_source_seek_compute_offset(
        static_cast<zip_uint64_t>(current), state->size, data, length, nullptr);
    if (target < 0) return -1;
    if (Files().SeekFile(state->handle, target, kSeekStart) < 0) return -1;
    return 0;
}

}  // namespace

extern "C" zip_int64_t HostFileSourceCallback(void* userdata, void* data, zip_uint64_t length,
                                              zip_source_cmd_t command) {
    auto* state = static_cast<HostFileSourceState*>(userdata);
    switch (command) {
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
            // The file stays open and where it is between open and close.
            return 0;
        case ZIP_SOURCE_READ: {
            // Host reads are counted in 32 bits; libzip asks for far less.
            const int32_t count = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
            return Files().ReadFile(state->handle, data, count);
        }
        case ZIP_SOURCE_STAT:
            return Stat(state, data);
        case ZIP_SOURCE_ERROR: {
            // libzip keeps the code of whatever it noticed failing itself.
            auto* codes = static_cast<int*>(data);
            codes[0] = 0;
            codes[1] = 0;
            return 2 * sizeof(int);
        }
        case ZIP_SOURCE_FREE:
            Files().CloseFile(state->handle);
            System().Free(state);
            return 0;
        case ZIP_SOURCE_SEEK:
            return state->stream != 0 ? -1 : Seek(state, data, length);
        case ZIP_SOURCE_TELL: {
            if (state->stream != 0) return -1;
            return Files().SeekFile(state->handle, 0, kSeekCurrent);
        }
        case ZIP_SOURCE_SUPPORTS:
            // Stream mode answers -1: libzip then assumes a plain readable source.
            if (state->stream != 0) return -1;
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                                  ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, -1);
        default:
            return -1;  // every write command, and anything newer
    }
}

zip_t* OpenHostArchive(const char* path) {
    auto* state =
        static_cast<HostFileSourceState*>(System().Alloc(sizeof(HostFileSourceState), 1, "scb"));
    if (state == nullptr) return nullptr;
    state->handle = Files().OpenFile(path, kOpenRead | kOpenReadFlag8);
    if (state->handle == 0) {
        System().Free(state);
        return nullptr;
    }
    // Seeking to the end and back to the start answers the file's length.
    // A host that cannot seek this file cannot serve it as an archive.
    const int64_t atEnd = Files().SeekFile(state->handle, 0, kSeekEnd);
    const int64_t size = Files().SeekFile(state->handle, 0, kSeekStart);
    zip_source_t* source = nullptr;
    if (atEnd >= 0 && size >= 0) {
        state->size = static_cast<uint64_t>(size);
        source = zip_source_function_create(HostFileSourceCallback, state, nullptr);
    }
    if (source == nullptr) {
        Files().CloseFile(state->handle);
        System().Free(state);
        return nullptr;
    }
    zip_t* archive = zip_open_from_source(source, 0, nullptr);
    if (archive == nullptr) {
        zip_source_free(source);  // its free command closes the file and frees the state
        return nullptr;
    }
    return archive;
}

void BindStreamSource(HostFileSourceState* state, zip_t* archive, zip_uint64_t index) {
    state->entryArchive = archive;
    state->entryIndex = index;
}
