// The zip library as the host sees it: its name, commands, constants and
// help strings (all constant data; row sizes and order are the interface),
// and the entry points that begin and end the library's use.
#include "archive/archive_registry.h"
#include "commands/commands.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace {

constexpr char kLibraryName[] = "zip";

#define ZIPCVX_COMMAND_ROW(name, help) {#name, name},
constexpr CommandRecord kCommands[] = {ZIPCVX_COMMANDS(ZIPCVX_COMMAND_ROW){nullptr, nullptr}};
#undef ZIPCVX_COMMAND_ROW
constexpr int kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]) - 1;
static_assert(kCommandCount == 17);

#define ZIPCVX_HELP_ROW(name, help) {help, 0},
constexpr HelpStringRecord kHelpStrings[] = {ZIPCVX_COMMANDS(ZIPCVX_HELP_ROW)};
#undef ZIPCVX_HELP_ROW
static_assert(sizeof(kHelpStrings) / sizeof(kHelpStrings[0]) == kCommandCount,
              "one help string per command, no closing row");

// libzip's compression and encryption method codes, and the attribute that
// the "ZIP archive" object type answers.
constexpr ConstantRecord kConstants[] = {
    {"ZIP_CM_DEFAULT", 0, -1},
    {"ZIP_CM_STORE", 0, 0},
    {"ZIP_CM_SHRINK", 0, 1},
    {"ZIP_CM_REDUCE_1", 0, 2},
    {"ZIP_CM_REDUCE_2", 0, 3},
    {"ZIP_CM_REDUCE_3", 0, 4},
    {"ZIP_CM_REDUCE_4", 0, 5},
    {"ZIP_CM_IMPLODE", 0, 6},
    {"ZIP_CM_DEFLATE", 0, 8},
    {"ZIP_CM_DEFLATE64", 0, 9},
    {"ZIP_CM_PKWARE_IMPLODE", 0, 10},
    {"ZIP_CM_BZIP2", 0, 12},
    {"ZIP_CM_LZMA", 0, 14},
    {"ZIP_CM_TERSE", 0, 18},
    {"ZIP_CM_LZ77", 0, 19},
    {"ZIP_CM_XZ", 0, 95},
    {"ZIP_CM_JPEG", 0, 96},
    {"ZIP_CM_WAVPACK", 0, 97},
    {"ZIP_CM_PPMD", 0, 98},
    {"ZIP_EM_NONE", 0, 0},
    {"ZIP_EM_TRAD_PKWARE", 0, 1},
    {"ZIP_EM_AES_128", 0, 257},
    {"ZIP_EM_AES_192", 0, 258},
    {"ZIP_EM_AES_256", 0, 259},
    {"ZIP_EM_UNKNOWN", 0, 65535},
    {"ZIPATTRNUMENTRIES", 0, kZipAttrNumEntries},
    {nullptr, 0, 0},
};
static_assert(sizeof(kConstants) / sizeof(kConstants[0]) == 26 + 1);

}  // namespace

extern "C" const char* GetBaseTable(void) {
    return kLibraryName;
}
extern "C" const CommandRecord* GetCommands(void) {
    return kCommands;
}
extern "C" const ConstantRecord* GetConstants(void) {
    return kConstants;
}
extern "C" const HelpStringRecord* GetHelpStrings(void) {
    return kHelpStrings;
}

extern "C" int32_t InitLibrary(VmState* vm) {
    if (!PluginStarted()) return 1;
    gPlugin.objectTypeId =
        System().RegisterObjectType(vm, "ZIP archive", ArchiveRegistryHead(), ArchiveTypeHandler);
    return 0;
}

extern "C" void FreeLibrary(VmState* vm) {
    ReleaseAllArchives(vm);
}
