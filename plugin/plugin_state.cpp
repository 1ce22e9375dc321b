#include "plugin/plugin_state.h"

constinit PluginState gPlugin = {
    .services = nullptr,
    .info = nullptr,
    .objectTypeId = -1,
    .errOpenArchive = 0,
    .errNoArchive = 0,
    .errZip = 0,
};
