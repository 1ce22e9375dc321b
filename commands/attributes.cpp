// zip.GetFileAttributes: one entry's statistics as a table with six fixed
// keys. A field that libzip does not mark valid gets a placeholder, so a
// script always finds every key.
#include <string.h>
#include <zip.h>

#include "commands/arguments.h"
#include "commands/commands.h"
#include "commands/date_strings.h"
#include "plugin/plugin_state.h"

namespace {

// The valid bits live in the low 32 bits of libzip's mask.
bool IsValid(const zip_stat_t& stat, uint32_t bit) {
    return (static_cast<uint32_t>(stat.valid) & bit) != 0;
}

double SizeField(const zip_stat_t& stat, uint32_t bit, zip_uint64_t size) {
    return IsValid(stat, bit) ? static_cast<double>(size) : -1.0;
}

double MethodField(const zip_stat_t& stat, uint32_t bit, zip_uint16_t method) {
    return IsValid(stat, bit) ? static_cast<double>(static_cast<int32_t>(method)) : -1.0;
}

}  // namespace

extern "C" int32_t GetFileAttributes(VmState* vm) {
    const int32_t index = CheckIndex(vm, 2);
    ObjectId id{};
    const ArchiveObject* record = LookupArchive(vm, &id);
    if (record == nullptr) return gPlugin.errNoArchive;

    // Flags 0: renames, replaced data and new entries are seen as they stand.
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(record->archive, EntryIndex(index), 0, &stat) != 0) return gPlugin.errZip;

    char time[kDateBufferSize];
    if (IsValid(stat, ZIP_STAT_MTIME)) {
        FormatDateString(stat.mtime, time);
    } else {
        memcpy(time, kFallbackDateString, sizeof kFallbackDateString);
    }

    Vm().NewTable(vm);
    SetNumberField(vm, "size", SizeField(stat, ZIP_STAT_SIZE, stat.size));
    SetNumberField(vm, "compressedsize", SizeField(stat, ZIP_STAT_COMP_SIZE, stat.comp_size));
    // Unsigned, so a CRC with the top bit set is never negative.
    SetNumberField(vm, "crc32", IsValid(stat, ZIP_STAT_CRC) ? static_cast<double>(stat.crc) : 0.0);
    SetNumberField(vm, "compression", MethodField(stat, ZIP_STAT_COMP_METHOD, stat.comp_method));
    SetNumberField(vm, "encryption",
                   MethodField(stat, ZIP_STAT_ENCRYPTION_METHOD, stat.encryption_method));
    SetStringField(vm, "time", time);
    return 1;
}
