// Not yet built: the host makes no source names, so open tags fail.
#include "host/source_names.h"

namespace cvx {

void InitSourceFileName(char* field) { field[0] = '\0'; }
int32_t CreateSourceFileName(char*, uintptr_t, uint64_t, uint64_t, int32_t, int32_t) { return 1; }
void FreeSourceFileName(char* field) { field[0] = '\0'; }
int32_t MakeSourceFileName(char* buffer, int32_t size, const SourceDescriptor*, int32_t) {
    if (size > 0) buffer[0] = '\0';
    return 1;
}
int OpenSourceName(const char*) { return -2; }

}  // namespace cvx
