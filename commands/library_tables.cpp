// The zip library as the host sees it: its name, commands, constants and
// help strings (all constant data; row sizes and order are the interface),
// and the entry points that begin and end the library's use.
#include "archive/archive_registry.h"
#include "commands/commands.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace {

constexpr char kLibraryName[] = "zip";

constexpr CommandRecord kCommands[] = {
    {"OpenArchive", OpenArchive},
    {"CloseArchive", CloseArchive},
    {"GetObjectType", GetObjectType},
    {"AddDirectory", AddDirectory},
    {"AddFile", AddFile},
    {"GetFileAtIndex", GetFileAtIndex},
    {"DeleteFile", DeleteFile},
    {"RenameFile", RenameFile},
    {"LocateFile", LocateFile},
    {"ExtractFile", ExtractFile},
    {"GetFileAttributes", GetFileAttributes},
    {"SetDefaultPassword", SetDefaultPassword},
    {"SetFileEncryption", SetFileEncryption},
    {"SetFileCompression", SetFileCompression},
    {"SetFileComment", SetFileComment},
    {"GetFileComment", GetFileComment},
    {"SetFileTime", SetFileTime},
    {nullptr, nullptr},
};
constexpr int kCommandCount = sizeof(kCommands) / sizeof(kCommands[0]) - 1;
static_assert(kCommandCount == 17);

// Row i describes command i. Row 11's blank after the comma and row 14's tab
// before "--" are part of the strings as the host shows them.
constexpr HelpStringRecord kHelpStrings[] = {
    {"[id]=zip.OpenArchive(id,filename$[,mode]) -- open a zip archive for reading or writing", 0},
    {"zip.CloseArchive(id[,discard,callback,userdata]) -- close zip archive", 0},
    {"type=zip.GetObjectType() -- get zip archive object type", 0},
    {"idx=zip.AddDirectory(id,d$) -- add directory to zip archive", 0},
    {"idx=zip.AddFile(id,f$[,table]) -- add file to zip archive", 0},
    {"name$=zip.GetFileAtIndex(id,idx) -- get name of file by index", 0},
    {"zip.DeleteFile(id,idx) -- delete file from zip archive", 0},
    {"zip.RenameFile(id,idx,newname$) -- rename file in zip archive", 0},
    {"idx=zip.LocateFile(id,name$[,table]) -- find file in zip archive", 0},
    {"zip.ExtractFile(id,idx,dst$[,table]) -- extract file from zip archive", 0},
    {"t=zip.GetFileAttributes(id, idx) -- get file attributes", 0},
    {"zip.SetDefaultPassword(id,pwd$) -- set default password", 0},
    {"zip.SetFileEncryption(id,idx,method[,pwd$]) -- set file encryption", 0},
    {"zip.SetFileCompression(id,idx,method[,flags])\t-- set file compression", 0},
    {"zip.SetFileComment(id[,c$,idx]) -- set file comment", 0},
    {"c$=zip.GetFileComment(id[,idx]) -- get file comment", 0},
    {"zip.SetFileTime(id,idx,time$) -- set file datestamp", 0},
};
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
    {"ZIPATTRNUMENTRIES", 0, 32768},
    {nullptr, 0, 0},
};
static_assert(sizeof(kConstants) / sizeof(kConstants[0]) == 26 + 1);

}  // namespace

extern "C" const char* GetBaseTable(void) { return kLibraryName; }
extern "C" const CommandRecord* GetCommands(void) { return kCommands; }
extern "C" const ConstantRecord* GetConstants(void) { return kConstants; }
extern "C" const HelpStringRecord* GetHelpStrings(void) { return kHelpStrings; }

extern "C" int32_t InitLibrary(VmState* vm) {
    if (!PluginStarted()) return 1;
    gPlugin.objectTypeId =
        System().RegisterObjectType(vm, "ZIP archive", &gPlugin.registry, ArchiveTypeHandler);
    return 0;
}

extern "C" void FreeLibrary(VmState* vm) { ReleaseAllArchives(vm); }
