// Not yet built: the adapter declines every path until it lands.
#include "plugin/entry_points.h"

extern "C" int32_t Stat(const char*, int32_t, StatRecord*) { return 0; }
extern "C" int32_t FStat(void*, int32_t, StatRecord*) { return 0; }
