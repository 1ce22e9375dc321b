// Conversions between the host's words and records and what scripts and the
// system give.
#ifndef CVXHOST_CONVERSIONS_H
#define CVXHOST_CONVERSIONS_H

#include <sys/stat.h>

#include "plugin/host_interface.h"

namespace cvx {

// Truncates toward zero and saturates at the 32-bit range, as every host
// conversion of a script number to a word does.
int32_t TruncateToInt32(double value);
// Local time as a DateGroup (month from 0, full year).
DateGroup DateFromTime(long long seconds);
// The kinds of the host's own records beside a file (0) and a directory (1):
// what a backup must not follow or read as a file.
constexpr int32_t kKindLink = 2;   // a symbolic link, whatever it points to
constexpr int32_t kKindOther = 3;  // a FIFO, socket or device
// A file's record: its kind, size (0 but for a regular file) and
// modification time.
StatRecord RecordFromStat(const struct stat& st, const char* name);

}  // namespace cvx

#endif
