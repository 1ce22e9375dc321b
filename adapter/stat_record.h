// Filling the host's StatRecord, shared by Stat, FStat and NextDirEntry:
// the dates, the returned name, and the record of a whole entry.
//
// Names are returned in one static buffer (valid until the next of these
// calls) or, with the full-name flag of Stat and FStat, in a block from
// Alloc (tag "fullpath") that passes to the caller. These calls share the
// buffer and the C library's static broken-down time: they must not overlap.
#ifndef ZIPCVX_STAT_RECORD_H
#define ZIPCVX_STAT_RECORD_H

#include <stddef.h>
#include <time.h>
#include <zip.h>

#include "plugin/host_interface.h"

inline constexpr size_t kSharedNameSize = 1024;

// The three date groups from the local time of t (month from 0, full year).
void WriteEntryDates(StatRecord* record, time_t t);
// The three date groups from the host's current date, for a directory that
// has no entry of its own.
void WriteCurrentDates(StatRecord* record);

// Points record->name at a copy of the length characters of name: a fresh
// "fullpath" block when flags has kStatFullName, else the shared buffer.
// False, with the name field unchanged, when the block cannot be had or
// the name does not fit the shared buffer.
bool WriteName(StatRecord* record, const char* name, size_t length, int32_t flags);

// Whether the entry's size fits the record's signed 64-bit size. One that
// does not (a zip64 size of 2^63 or more) is neither examined nor listed.
bool SizeFits(const zip_stat_t& entry);

// Kind, size, dates and stored name of the entry that entry describes in
// archive. A stored name ending in '/' is a directory: kStatKindDirectory, size 0.
// Returns 1, or 0 when the name cannot be had or returned, or the size
// does not fit.
int32_t WriteEntry(zip_t* archive, const zip_stat_t& entry, StatRecord* record, int32_t flags);

#endif
