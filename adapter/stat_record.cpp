#include "adapter/stat_record.h"

#include <stdint.h>
#include <string.h>

#include "plugin/dates.h"
#include "plugin/plugin_state.h"

namespace {

constinit char gSharedNameBuffer[kSharedNameSize] = {};

void WriteDates(StatRecord* record, const DateGroup& date) {
    record->dates[0] = date;
    record->dates[1] = date;
    record->dates[2] = date;
}

}  // namespace

void WriteEntryDates(StatRecord* record, time_t t) {
    DateGroup date{};
    if (TimeToDateGroup(t, &date)) WriteDates(record, date);
}

void WriteCurrentDates(StatRecord* record) {
    DateGroup now{};
    System().GetCurrentDate(&now);
    WriteDates(record, now);
}

bool WriteName(StatRecord* record, const char* name, size_t length, int32_t flags) {
    char* copy = gSharedNameBuffer;
    if ((flags & kStatFullName) != 0) {
        copy = static_cast<char*>(System().Alloc(length + 1, 0, "fullpath"));
        if (copy == nullptr) return false;
    } else if (length >= kSharedNameSize) {
        return false;
    }
    memcpy(copy, name, length);
    copy[length] = '\0';
    record->name = copy;
    return true;
}

bool SizeFits(const zip_stat_t& entry) {
    return (entry.valid & ZIP_STAT_SIZE) == 0 || entry.size <= static_cast<zip_uint64_t>(INT64_MAX);
}

int32_t WriteEntry(zip_t* archive, const zip_stat_t& entry, StatRecord* record, int32_t flags) {
    if ((entry.valid & ZIP_STAT_INDEX) == 0 || !SizeFits(entry)) return 0;
    const char* name = zip_get_name(archive, entry.index, 0);
    if (name == nullptr) return 0;
    const size_t length = strlen(name);
    const bool directory = length > 0 && name[length - 1] == '/';
    record->kind = directory ? kStatKindDirectory : kStatKindFile;
    record->size =
        directory || (entry.valid & ZIP_STAT_SIZE) == 0 ? 0 : static_cast<int64_t>(entry.size);
    if (!WriteName(record, name, length, flags)) return 0;
    if ((entry.valid & ZIP_STAT_MTIME) != 0) WriteEntryDates(record, entry.mtime);
    return 1;
}
