// The plugin frame as the host meets it: header, lookup, start-up and
// shutdown, and the library tables.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lua.hpp>
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host.h"
#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

const char* const kEntryNames[] = {
    "InitPlugin",   "ClosePlugin", "RequirePlugin", "FOpen",          "FClose",
    "FRead",        "FGetC",       "FWrite",        "FPutC",          "FSeek",
    "FFlush",       "FEof",        "Stat",          "FStat",          "OpenDir",
    "CloseDir",     "NextDirEntry", "GetBaseTable", "GetCommands",    "GetConstants",
    "GetHelpStrings", "InitLibrary", "FreeLibrary", "GetExtensions"};

// A loaded but not yet initialised plugin, with the host's call log on.
class LoadedPlugin : public ::testing::Test {
protected:
    void Load(uint32_t version, uint32_t revision) {
        cvx::HostOptions options;
        options.version = version;
        options.revision = revision;
        options.logCalls = true;
        host = std::make_unique<cvx::Host>(options);
        std::string error;
        ASSERT_TRUE(host->Load(ZIPCVX_PLUGIN_PATH, &error)) << error;
    }
    void TearDown() override {
        if (!host) return;
        host->Stop();
        EXPECT_EQ(host->LeakReport(), "");
    }
    std::vector<std::string> CallsStartingWith(const std::string& prefix) {
        std::vector<std::string> found;
        for (const std::string& c : host->calls()) {
            if (c.rfind(prefix, 0) == 0) found.push_back(c);
        }
        return found;
    }
    std::unique_ptr<cvx::Host> host;
};

TEST_F(LoadedPlugin, LookupMatchesExactNamesOnly) {
    Load(7, 1);
    std::vector<EntryPoint> seen;
    for (const char* name : kEntryNames) {
        EntryPoint f = host->Lookup(name);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), f), 0) << name << " shares a function";
        seen.push_back(f);
    }
    for (const char* name : {"initplugin", "InitPlugin ", " InitPlugin", "", "InitPlugi",
                             "InitPluginX", "FOPEN", "GetVersion"}) {
        EXPECT_EQ(host->Lookup(name), nullptr) << "'" << name << "'";
    }
}

TEST_F(LoadedPlugin, InitPluginFillsEveryFieldOnAnOldHostAndRegistersNothing) {
    Load(5, 0);
    std::string error;
    EXPECT_FALSE(host->Start(&error));
    EXPECT_NE(error.find("needs host version 6.0"), std::string::npos) << error;
    const PluginInfo& info = host->info();
    EXPECT_EQ(info.capabilities, 0x0002C402u);
    EXPECT_EQ(info.version, 1u);
    EXPECT_EQ(info.revision, 0u);
    EXPECT_EQ(info.hostVersion, 6u);
    EXPECT_EQ(info.hostRevision, 0u);
    EXPECT_STREQ(info.name, "ZIP");
    EXPECT_STREQ(info.moduleName, "zip");
    EXPECT_STREQ(info.description, "Read and write zip archives with Calvora");
    EXPECT_STREQ(info.date, "19.11.17");
    EXPECT_STREQ(info.helpFile, "Calvora:PluginHelp/zip.guide");
    EXPECT_NE(info.author, nullptr);
    EXPECT_NE(info.legalNotice, nullptr);
    EXPECT_NE(info.webAddress, nullptr);
    EXPECT_EQ(info.reserved48, 0u);
    EXPECT_TRUE(CallsStartingWith("RegisterError").empty());
    EXPECT_TRUE(CallsStartingWith("SetCapabilityState").empty());
}

TEST_F(LoadedPlugin, InitPluginWithoutServicesKeepsNothing) {
    Load(7, 1);
    PluginInfo info{};
    info.hostVersion = 7;
    EXPECT_EQ(host->Entry<InitPluginFn>("InitPlugin")(&info, nullptr), 1);
    EXPECT_EQ(info.hostVersion, 6u);
    EXPECT_TRUE(host->calls().empty());
}

TEST_F(LoadedPlugin, InitPluginRegistersTheThreeMessagesInOrderOnHostsFromSix) {
    for (auto [version, revision] : {std::pair{6u, 0u}, std::pair{7u, 1u}}) {
        Load(version, revision);
        std::string error;
        ASSERT_TRUE(host->Start(&error)) << error;
        const std::vector<std::string> expected = {
            "RegisterError(Error opening zip archive %s!)=1200",
            "RegisterError(Cannot find specified zip archive!)=1201",
            "RegisterError(A zip error has occurred!)=1202",
            "SetCapabilityState(16384,1,0)",
            "ActivateCapability(32768)=0",
            "ActivateCapability(16384)=0",
            "RegisterObjectType(ZIP archive)=16"};
        EXPECT_EQ(host->calls(), expected) << "host " << version << "." << revision;
        host->Stop();
    }
}

TEST_F(LoadedPlugin, RequirePluginStopsAtTheFirstFailingActivation) {
    Load(7, 1);
    host->activateResults()[0x8000] = 77;
    std::string error;
    EXPECT_FALSE(host->Start(&error));
    EXPECT_NE(error.find("code 77"), std::string::npos) << error;
    EXPECT_EQ(CallsStartingWith("ActivateCapability"),
              std::vector<std::string>{"ActivateCapability(32768)=77"});

    Load(7, 1);
    host->activateResults()[0x4000] = 78;
    EXPECT_FALSE(host->Start(&error));
    EXPECT_EQ(CallsStartingWith("ActivateCapability").size(), 2u);
}

TEST_F(LoadedPlugin, GetExtensionsAnswersFourForKindTwoOnly) {
    Load(7, 1);
    auto extensions = host->Entry<GetExtensionsFn>("GetExtensions");
    EXPECT_EQ(extensions(2), 4);
    for (int kind : {0, 1, 3, -1, 4, 1 << 30}) EXPECT_EQ(extensions(kind), 0) << kind;
}

TEST_F(LoadedPlugin, ObjectTypeReadsMinusOneBeforeInitLibrary) {
    Load(7, 1);
    PluginInfo info{};
    info.hostVersion = 7;
    host->Entry<InitPluginFn>("InitPlugin")(&info, host->services());
    lua_State* L = luaL_newstate();
    const CommandRecord* commands = host->Entry<GetCommandsFn>("GetCommands")();
    ASSERT_STREQ(commands[2].name, "GetObjectType");
    EXPECT_EQ(commands[2].handler(reinterpret_cast<VmState*>(L)), 1);
    EXPECT_EQ(lua_tonumber(L, -1), -1);
    lua_close(L);
}

TEST(PluginLoader, RefusesAFileWithoutAHeaderNamingIt) {
    // The libzip these tests run with: a loadable library of this build's
    // own machine that has no plugin header.
    Dl_info where{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&zip_libzip_version), &where), 0);
    const std::string other = where.dli_fname;
    cvx::Host host;
    std::string error;
    EXPECT_FALSE(host.Load(other, &error));
    EXPECT_EQ(error, "no plugin header found in " + other);
}

TEST(PluginLoader, FindsTheHeaderByItsMagicNotBySymbol) {
    cvx::Host host;
    std::string error;
    ASSERT_TRUE(host.Load(ZIPCVX_PLUGIN_PATH, &error)) << error;
    std::string symbols;
    ASSERT_EQ(Shell(std::string(ZIPCVX_NM) + " -D --defined-only " + ZIPCVX_PLUGIN_PATH, &symbols),
              0);
    for (const char* name : kEntryNames) {
        EXPECT_EQ(symbols.find(std::string(" ") + name + "\n"), std::string::npos) << name;
    }
    EXPECT_NE(host.Lookup("InitPlugin"), nullptr);
}

// ------------------------------------------------------------------ tables

using LibraryTables = PluginHost;

// Row i of the help table describes command i; the help table has no
// closing row of its own.
const struct {
    const char* name;
    const char* help;
} kLibrary[] = {
    {"OpenArchive",
     "[id]=zip.OpenArchive(id,filename$[,mode]) -- open a zip archive for reading or writing"},
    {"CloseArchive", "zip.CloseArchive(id[,discard,callback,userdata]) -- close zip archive"},
    {"GetObjectType", "type=zip.GetObjectType() -- get zip archive object type"},
    {"AddDirectory", "idx=zip.AddDirectory(id,d$) -- add directory to zip archive"},
    {"AddFile", "idx=zip.AddFile(id,f$[,table]) -- add file to zip archive"},
    {"GetFileAtIndex", "name$=zip.GetFileAtIndex(id,idx) -- get name of file by index"},
    {"DeleteFile", "zip.DeleteFile(id,idx) -- delete file from zip archive"},
    {"RenameFile", "zip.RenameFile(id,idx,newname$) -- rename file in zip archive"},
    {"LocateFile", "idx=zip.LocateFile(id,name$[,table]) -- find file in zip archive"},
    {"ExtractFile", "zip.ExtractFile(id,idx,dst$[,table]) -- extract file from zip archive"},
    {"GetFileAttributes", "t=zip.GetFileAttributes(id, idx) -- get file attributes"},
    {"SetDefaultPassword", "zip.SetDefaultPassword(id,pwd$) -- set default password"},
    {"SetFileEncryption", "zip.SetFileEncryption(id,idx,method[,pwd$]) -- set file encryption"},
    {"SetFileCompression",
     "zip.SetFileCompression(id,idx,method[,flags])\t-- set file compression"},
    {"SetFileComment", "zip.SetFileComment(id[,c$,idx]) -- set file comment"},
    {"GetFileComment", "c$=zip.GetFileComment(id[,idx]) -- get file comment"},
    {"SetFileTime", "zip.SetFileTime(id,idx,time$) -- set file datestamp"},
};

const struct {
    const char* name;
    double value;
} kConstants[] = {
    {"ZIP_CM_DEFAULT", -1},     {"ZIP_CM_STORE", 0},          {"ZIP_CM_SHRINK", 1},
    {"ZIP_CM_REDUCE_1", 2},     {"ZIP_CM_REDUCE_2", 3},       {"ZIP_CM_REDUCE_3", 4},
    {"ZIP_CM_REDUCE_4", 5},     {"ZIP_CM_IMPLODE", 6},        {"ZIP_CM_DEFLATE", 8},
    {"ZIP_CM_DEFLATE64", 9},    {"ZIP_CM_PKWARE_IMPLODE", 10}, {"ZIP_CM_BZIP2", 12},
    {"ZIP_CM_LZMA", 14},        {"ZIP_CM_TERSE", 18},         {"ZIP_CM_LZ77", 19},
    {"ZIP_CM_XZ", 95},          {"ZIP_CM_JPEG", 96},          {"ZIP_CM_WAVPACK", 97},
    {"ZIP_CM_PPMD", 98},        {"ZIP_EM_NONE", 0},           {"ZIP_EM_TRAD_PKWARE", 1},
    {"ZIP_EM_AES_128", 257},    {"ZIP_EM_AES_192", 258},      {"ZIP_EM_AES_256", 259},
    {"ZIP_EM_UNKNOWN", 65535},  {"ZIPATTRNUMENTRIES", 32768},
};

TEST_F(LibraryTables, CommandAndHelpTablesHoldEveryRowExactly) {
    const CommandRecord* commands = host().Entry<GetCommandsFn>("GetCommands")();
    const HelpStringRecord* help = host().Entry<GetHelpStringsFn>("GetHelpStrings")();
    EXPECT_STREQ(host().Entry<GetBaseTableFn>("GetBaseTable")(), "zip");
    int n = 0;
    while (commands[n].name != nullptr) ++n;
    ASSERT_EQ(n, 17);
    EXPECT_EQ(commands[17].handler, nullptr);
    for (int i = 0; i < n; ++i) {
        EXPECT_STREQ(commands[i].name, kLibrary[i].name) << "row " << i + 1;
        EXPECT_NE(commands[i].handler, nullptr) << kLibrary[i].name;
        EXPECT_STREQ(help[i].text, kLibrary[i].help) << "row " << i + 1;
        EXPECT_EQ(help[i].reserved, 0u);
    }
    // The host shows row 14 with its tab.
    EXPECT_EQ(Eval("host.Help('SetFileCompression'):find('\\t', 1, true)"), "46");
}

TEST_F(LibraryTables, ConstantsAreLibzipsMethodCodes) {
    const ConstantRecord* c = host().Entry<GetConstantsFn>("GetConstants")();
    int n = 0;
    while (c[n].name != nullptr) {
        ASSERT_LT(n, 26);
        EXPECT_STREQ(c[n].name, kConstants[n].name) << "row " << n + 1;
        EXPECT_EQ(c[n].value, kConstants[n].value) << c[n].name;
        EXPECT_EQ(c[n].reserved, 0u);
        EXPECT_EQ(Eval(c[n].name), std::to_string(static_cast<int>(kConstants[n].value)));
        ++n;
    }
    EXPECT_EQ(n, 26);
    EXPECT_EQ(c[26].reserved, 0u);
    EXPECT_EQ(c[26].value, 0.0);
    // libzip's own numbers, which scripts pass on unchanged.
    EXPECT_EQ(c[0].value, ZIP_CM_DEFAULT);
    EXPECT_EQ(c[8].value, ZIP_CM_DEFLATE);
    EXPECT_EQ(c[18].value, ZIP_CM_PPMD);
    EXPECT_EQ(c[23].value, ZIP_EM_AES_256);
    EXPECT_EQ(c[24].value, ZIP_EM_UNKNOWN);
}

TEST_F(LibraryTables, ScriptsSeeEveryCommandAndTheObjectType) {
    EXPECT_EQ(Eval("(function() local n = 0 for _ in pairs(zip) do n = n + 1 end return n end)()"),
              "17");
    EXPECT_EQ(Eval("zip.GetObjectType()"), "16");
}

// ------------------------------------------------------------ the program

TEST(CvxHostProgram, ReportsAScriptErrorOnStderrWithExitOne) {
    char dir[] = "/tmp/zipcvx-host-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string script = std::string(dir) + "/fails.lua";
    WriteFileBytes(script, "print('before') error('stop here')\n");
    std::string output;
    EXPECT_EQ(Shell(std::string(ZIPCVX_HOST_COMMAND) + " " + script, &output), 1);
    EXPECT_NE(output.find("before"), std::string::npos);
    EXPECT_NE(output.find("stop here"), std::string::npos) << output;
    WriteFileBytes(script, "assert(arg[1] == 'x' and select('#', ...) == 2)\n");
    EXPECT_EQ(Shell(std::string(ZIPCVX_HOST_COMMAND) + " " + script + " x y", &output), 0)
        << output;
    EXPECT_EQ(Shell(std::string(ZIPCVX_HOST_COMMAND) + " --host-version 5.9 " + script, &output),
              1);
    EXPECT_NE(output.find("needs host version 6.0"), std::string::npos) << output;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zipcvx_test
