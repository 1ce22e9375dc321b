// The plugin's entry points. The host reaches them only by name, through the
// lookup function in the plugin header; none of them is exported.
#ifndef ZIPCVX_ENTRY_POINTS_H
#define ZIPCVX_ENTRY_POINTS_H

#include "plugin/host_interface.h"

#define ZIPCVX_DECLARE_ENTRY(name, result, params) extern "C" result name params;
CVX_ENTRY_POINTS(ZIPCVX_DECLARE_ENTRY)
#undef ZIPCVX_DECLARE_ENTRY

#endif
