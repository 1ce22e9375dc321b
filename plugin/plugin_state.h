// Module-wide state of the plugin and short ways to the host's services.
#ifndef ZIPCVX_PLUGIN_STATE_H
#define ZIPCVX_PLUGIN_STATE_H

#include "plugin/host_interface.h"

struct PluginState {
    const HostServices* services;  // kept by InitPlugin once the host is accepted
    PluginInfo* info;              // kept for RequirePlugin
    int32_t objectTypeId;          // "ZIP archive"; -1 until InitLibrary
    int32_t errOpenArchive;        // "Error opening zip archive %s!"
    int32_t errNoArchive;          // "Cannot find specified zip archive!"
    int32_t errZip;                // "A zip error has occurred!"
};

// Constant-initialised: the plugin has no static constructors.
extern constinit PluginState gPlugin;

inline const SystemServices& System() {
    return *gPlugin.services->system;
}
inline const FileServices& Files() {
    return *gPlugin.services->files;
}
inline const VmServices& Vm() {
    return *gPlugin.services->vm;
}

// False until InitPlugin has accepted a host: until then no service exists,
// and the entry points that would need one answer as they do on failure.
inline bool PluginStarted() {
    return gPlugin.services != nullptr;
}

// The host interface's version and revision, compared as one number.
inline bool HostIsAtLeast(uintptr_t version, uintptr_t revision) {
    const HostServices* s = gPlugin.services;
    return s->version > version || (s->version == version && s->revision >= revision);
}

#endif
