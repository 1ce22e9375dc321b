// Not yet built: the adapter declines every path until it lands.
#include "plugin/entry_points.h"

extern "C" void* OpenDir(const char*) { return nullptr; }
extern "C" void CloseDir(void*) {}
extern "C" int32_t NextDirEntry(void*, StatRecord*) { return 0; }
