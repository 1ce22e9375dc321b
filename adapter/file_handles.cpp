// Not yet built: the adapter declines every path until it lands.
#include "plugin/entry_points.h"

extern "C" void* FOpen(const char*, int32_t, const TagItem*) { return nullptr; }
extern "C" int32_t FClose(void*) { return 1; }
extern "C" int32_t FRead(void*, void*, int32_t) { return 0; }
extern "C" int32_t FGetC(void*) { return -1; }
extern "C" int32_t FWrite(void*, const void*, int32_t) { return 0; }
extern "C" int32_t FPutC(void*, int32_t) { return 0; }
extern "C" int64_t FSeek(void*, int64_t, int32_t) { return 0; }
extern "C" int32_t FFlush(void*) { return 0; }
extern "C" int32_t FEof(void*) { return 1; }
