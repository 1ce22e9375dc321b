// Plugin initialisation and shutdown. The library's own start and end
// (InitLibrary, FreeLibrary) belong to the script library, in commands/.
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace {

constexpr uint32_t kCapabilities = 0x0002C402;  // bits 1, 10, 14, 15 and 17
constexpr uint32_t kCapabilityFiles = 0x4000;
constexpr uint32_t kCapabilityDirectories = 0x8000;
constexpr uint32_t kLowestHostVersion = 6;

}  // namespace

extern "C" int32_t InitPlugin(PluginInfo* info, const HostServices* services) {
    if (info == nullptr) return 0;  // nothing to answer in: the host cannot use the plugin
    // The host's version is read before any field is written, because the
    // same word then receives the lowest version the plugin needs.
    const uint32_t hostVersion = info->hostVersion;

    info->capabilities = kCapabilities;
    info->version = 1;
    info->revision = 0;
    info->hostVersion = kLowestHostVersion;
    info->hostRevision = 0;
    info->name = "ZIP";
    info->moduleName = "zip";
    info->author = "The zip.cvx developers";
    info->description = "Read and write zip archives with Calvora";
    info->legalNotice = "Copyright (C) 2017-2026 The zip.cvx developers";
    info->webAddress = "https://zip-cvx.invalid/";
    info->date = "19.11.17";
    info->reserved48 = 0;
    info->helpFile = "Calvora:PluginHelp/zip.guide";

    // An old host is not refused here: the record now tells it which host
    // version the plugin needs, and the host refuses the plugin itself.
    if (services == nullptr || hostVersion < kLowestHostVersion) return 1;

    gPlugin.services = services;
    gPlugin.errOpenArchive = System().RegisterError("Error opening zip archive %s!");
    gPlugin.errNoArchive = System().RegisterError("Cannot find specified zip archive!");
    gPlugin.errZip = System().RegisterError("A zip error has occurred!");
    System().SetCapabilityState(info, kCapabilityFiles, 1, 0);
    gPlugin.info = info;
    return 1;
}

extern "C" void ClosePlugin(void) {
    // Archive objects were released by FreeLibrary; nothing is left to do.
}

extern "C" int32_t RequirePlugin(VmState* /*vm*/) {
    if (!PluginStarted()) return 1;
    const int32_t status = System().ActivateCapability(gPlugin.info, kCapabilityDirectories);
    if (status != 0) return status;
    return System().ActivateCapability(gPlugin.info, kCapabilityFiles);
}

extern "C" int32_t GetExtensions(int32_t kind) { return kind == 2 ? 4 : 0; }
