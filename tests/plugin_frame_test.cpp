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

TEST_F(LibraryTables, CommandAndHelpTablesPairRowByRow) {
    const CommandRecord* commands = host().Entry<GetCommandsFn>("GetCommands")();
    const HelpStringRecord* help = host().Entry<GetHelpStringsFn>("GetHelpStrings")();
    EXPECT_STREQ(host().Entry<GetBaseTableFn>("GetBaseTable")(), "zip");
    int n = 0;
    while (commands[n].name != nullptr) ++n;
    ASSERT_EQ(n, 17);
    EXPECT_EQ(commands[17].handler, nullptr);
    for (int i = 0; i < n; ++i) {
        // Every help string names its own command right after "zip.".
        const std::string text = help[i].text;
        EXPECT_NE(text.find(std::string("zip.") + commands[i].name + "("), std::string::npos)
            << text;
        EXPECT_EQ(help[i].reserved, 0u);
    }
    EXPECT_STREQ(help[10].text, "t=zip.GetFileAttributes(id, idx) -- get file attributes");
    EXPECT_STREQ(help[13].text, "zip.SetFileCompression(id,idx,method[,flags])\t-- set file compression");
    EXPECT_STREQ(commands[0].name, "OpenArchive");
    EXPECT_STREQ(commands[16].name, "SetFileTime");
}

TEST_F(LibraryTables, ConstantsAreLibzipsMethodCodes) {
    const ConstantRecord* c = host().Entry<GetConstantsFn>("GetConstants")();
    int n = 0;
    int negative = 0;
    while (c[n].name != nullptr) {
        EXPECT_EQ(c[n].reserved, 0u);
        if (c[n].value < 0) ++negative;
        ++n;
    }
    EXPECT_EQ(n, 26);
    EXPECT_EQ(negative, 1);
    EXPECT_EQ(c[26].value, 0.0);
    EXPECT_EQ(Eval("ZIP_CM_DEFAULT"), "-1");
    EXPECT_EQ(Eval("ZIP_CM_STORE == ZIP_EM_NONE and ZIP_CM_SHRINK == ZIP_EM_TRAD_PKWARE"), "true");
    EXPECT_EQ(Eval("ZIP_CM_BZIP2 .. ' ' .. ZIP_CM_PPMD .. ' ' .. ZIP_EM_AES_256 .. ' ' .. ZIP_EM_UNKNOWN"),
              "12 98 259 65535");
    EXPECT_EQ(Eval("ZIPATTRNUMENTRIES"), "32768");
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
