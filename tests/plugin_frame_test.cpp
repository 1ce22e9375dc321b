// The plugin frame as the host meets it: header, lookup, start-up and shutdown, and the cvxhost
// program. (The library tables are checked against docs/commands.md by CommandsDoc.)
#include <gtest/gtest.h>

#include <algorithm>
#include <lua.hpp>
#include <string>
#include <vector>

#include "host/host.h"
#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

const char* const kEntryNames[] = {
#define ZIPCVX_NAME(name, result, params) #name,
    CVX_ENTRY_POINTS(ZIPCVX_NAME)
#undef ZIPCVX_NAME
};

// A loaded but not yet initialised plugin, with the host's call log on.
class LoadedPlugin : public ::testing::Test {
  protected:
    // Stops a host loaded before, which must have left nothing behind.
    void Load(uint32_t version, uint32_t revision) {
        if (host) TearDown();
        cvx::HostOptions options;
        options.version = version;
        options.revision = revision;
        options.logCalls = true;
        host = std::make_unique<cvx::Host>(options);
        std::string error;
        ASSERT_TRUE(host->Load(ZIPCVX_PLUGIN_PATH, &error)) << error;
    }
    void TearDown() override {
        host->Stop();
        EXPECT_EQ(host->LeakReport(), "");
    }
    PluginInfo InitWithoutStart(const HostServices* services) {
        PluginInfo info{};
        info.hostVersion = 7;
        EXPECT_EQ(host->entries().InitPlugin(&info, services), 1);
        return info;
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
                             "InitPluginX", "FOPEN", "GetVersion"})
        EXPECT_EQ(host->Lookup(name), nullptr) << "'" << name << "'";
    auto extensions = host->entries().GetExtensions;
    EXPECT_EQ(extensions(2), 4);
    for (int kind : {0, 1, 3, -1, 4, 1 << 30})
        EXPECT_EQ(extensions(kind), 0) << kind;
}

TEST_F(LoadedPlugin, InitPluginFillsEveryFieldAndRegistersOnlyOnHostsFromSix) {
    const std::vector<std::string> registrations = {
        "RegisterError(Error opening zip archive %s!)=1200",
        "RegisterError(Cannot find specified zip archive!)=1201",
        "RegisterError(A zip error has occurred!)=1202",
        "SetCapabilityState(16384,1,0)",
        "ActivateCapability(32768)=0",
        "ActivateCapability(16384)=0",
        "RegisterObjectType(ZIP archive)=16"};
    for (auto [version, revision] : {std::pair{5u, 0u}, std::pair{6u, 0u}, std::pair{7u, 1u}}) {
        SCOPED_TRACE("host " + std::to_string(version) + "." + std::to_string(revision));
        Load(version, revision);
        std::string error;
        EXPECT_EQ(host->Start(&error), version >= 6) << error;
        const PluginInfo& info = host->info();
        EXPECT_EQ(info.capabilities, 0x0002C402u);
        EXPECT_TRUE(info.version == 1 && info.revision == 0 && info.reserved48 == 0);
        EXPECT_TRUE(info.hostVersion == 6 && info.hostRevision == 0);
        EXPECT_TRUE(info.name && info.moduleName && info.description && info.date &&
                    info.helpFile && info.author && info.legalNotice && info.webAddress);
        if (version < 6) {
            EXPECT_NE(error.find("needs host version 6.0"), std::string::npos) << error;
            EXPECT_EQ(CountCalls(*host, "RegisterError") + CountCalls(*host, "SetCapability"), 0);
        } else {
            EXPECT_EQ(host->calls(), registrations);
        }
    }
}

TEST_F(LoadedPlugin, InitPluginWithoutServicesKeepsNothingAndTheTypeReadsMinusOne) {
    Load(7, 1);
    EXPECT_EQ(InitWithoutStart(nullptr).hostVersion, 6u);
    // Nothing was accepted: what would need a service answers as on failure.
    const cvx::PluginEntries& e = host->entries();
    StatRecord record{};
    EXPECT_EQ(host->Lookup(nullptr), nullptr);
    EXPECT_EQ(e.InitPlugin(nullptr, host->services()), 0);
    EXPECT_TRUE(e.RequirePlugin(nullptr) != 0 && e.InitLibrary(nullptr) != 0);
    EXPECT_TRUE(e.FOpen("x.zip/a", kOpenRead, nullptr) == nullptr && e.OpenDir("x.zip") == nullptr);
    EXPECT_EQ(e.Stat("x.zip/a", 0, &record), 0);
    EXPECT_TRUE(host->calls().empty());
    InitWithoutStart(host->services());
    lua_State* L = luaL_newstate();
    const CommandRecord* commands = host->entries().GetCommands();
    ASSERT_STREQ(commands[2].name, "GetObjectType");
    EXPECT_EQ(commands[2].handler(reinterpret_cast<VmState*>(L)), 1);
    EXPECT_EQ(lua_tonumber(L, -1), -1) << "no type before InitLibrary";
    lua_close(L);
}

TEST_F(LoadedPlugin, RequirePluginStopsAtTheFirstFailingActivation) {
    for (const auto& [capability, activations] : {std::pair{0x8000u, 1}, std::pair{0x4000u, 2}}) {
        Load(7, 1);
        host->SetActivateResult(capability, 77);
        std::string error;
        EXPECT_FALSE(host->Start(&error));
        EXPECT_NE(error.find("code 77"), std::string::npos) << error;
        EXPECT_EQ(CountCalls(*host, "ActivateCapability"), activations);
    }
}

// Script tests rely on a failing script's exit status.
TEST(CvxHostProgram, ReportsAScriptErrorWithExitOne) {
    const std::string script = ::testing::TempDir() + "/fails.lua";
    WriteFileBytes(script, "assert(arg[1] == 'x' and select('#', ...) == 2) error('stop here')\n");
    std::string output;
    EXPECT_EQ(Shell(std::string(ZIPCVX_HOST_COMMAND) + " " + script + " x y", &output), 1);
    EXPECT_NE(output.find("stop here"), std::string::npos) << output;
}

}  // namespace
}  // namespace zipcvx_test
