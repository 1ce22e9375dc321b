// File names that the host makes for data that is not a plain file (the
// open tags of the adapter's FOpen), and opening them.
//
// This host's open tags: kOpenTagSource2 is the address of an archive held
// in memory and kOpenTagQualifier3 its length; kOpenTagSource5 is an open
// host file that holds an archive from the offset kOpenTagQualifier4 to its
// end, which with kOpenTagSource2 is an offset into the memory archive. A
// memory archive is copied when its name is made.
//
// Names made by CreateSourceFileName live until FreeSourceFileName; the
// leak report lists those never freed. Names made by MakeSourceFileName
// (hosts 7.1 and later, which have no call to free them) live until the
// file-layer call that caused them returns (DropTransientSourceNames).
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

// Forgets the names that MakeSourceFileName made.
void DropTransientSourceNames();

// A read-only descriptor for a source name made above, positioned at the
// start of its data, with *base set to the offset of that start in the
// descriptor; -2 when path is no such name, -1 when it cannot be opened.
int OpenSourceName(const char* path, int64_t* base);

}  // namespace cvx

#endif
