// File names that the host makes for data that is not a plain file (open
// tags of the adapter's FOpen), and opening them.
#ifndef CVXHOST_SOURCE_NAMES_H
#define CVXHOST_SOURCE_NAMES_H

#include "plugin/host_interface.h"

namespace cvx {

void InitSourceFileName(char* field);
int32_t CreateSourceFileName(char* field, uintptr_t value, uint64_t tag3, uint64_t tag4,
                             int32_t isTag5, int32_t reserved);
void FreeSourceFileName(char* field);
int32_t MakeSourceFileName(char* buffer, int32_t size, const SourceDescriptor* source,
                           int32_t reserved);

// A descriptor for a source name made above; -2 when path is no such name,
// -1 when it is one that cannot be opened.
int OpenSourceName(const char* path);

}  // namespace cvx

#endif
