// The argument machinery that every zip.* command shares, run against the
// host's real script VM inside a protected call, as a command would be.
#include "commands/arguments.h"

#include <gtest/gtest.h>
#include <stdint.h>

#include <limits>
#include <lua.hpp>
#include <string>

#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

TEST(TruncateToInt32, TruncatesTowardZeroAndSaturates) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        int32_t expected;
    } cases[] = {
        {1.9, 1}, {-1.9, -1}, {-0.5, 0}, {1e10, INT32_MAX}, {-1e10, INT32_MIN},
        {2147483647.9, INT32_MAX}, {2147483646.9, 2147483646}, {-2147483648.9, INT32_MIN},
        {-2147483647.9, -2147483647}, {inf, INT32_MAX}, {-inf, INT32_MIN}, {nan, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TruncateToInt32(c.value), c.expected) << c.value;
    // Sign-extended, so that negative indices are huge.
    EXPECT_EQ(EntryIndex(1), 1u);
    EXPECT_EQ(EntryIndex(INT32_MAX), 0x7FFFFFFFu);
    EXPECT_EQ(EntryIndex(-1), UINT64_MAX);
    EXPECT_EQ(EntryIndex(INT32_MIN), 0xFFFFFFFF80000000u);
}

// A command body: runs inside a protected call with the script's arguments
// at positions 1 and up. It may raise; results go to file statics.
using Probe = void (*)(VmState* vm);
Probe gProbe;
int gTopBefore;
int gTopAfter;
int32_t gInteger;
bool gFlag;
const char* gKey;

int Trampoline(lua_State* L) {
    gTopBefore = lua_gettop(L);
    gProbe(reinterpret_cast<VmState*>(L));
    gTopAfter = lua_gettop(L);
    return 0;
}

class Arguments : public LinkedPlugin {
  protected:
    Arguments() { options.logCalls = true; }

    // Calls probe as a command with the values of the Lua expression list
    // args; returns the error it raised, or "" when it returned.
    std::string Call(Probe probe, const std::string& args) {
        lua_State* L = host().vm();
        const int base = lua_gettop(L);
        gProbe = probe;
        gTopBefore = gTopAfter = -1;
        lua_pushcfunction(L, Trampoline);
        EXPECT_EQ(luaL_loadstring(L, ("return " + args).c_str()), LUA_OK);
        lua_call(L, 0, LUA_MULTRET);
        std::string error;
        if (lua_pcall(L, lua_gettop(L) - base - 1, 0, 0) != LUA_OK) error = lua_tostring(L, -1);
        lua_settop(L, base);
        return error;
    }
    // Calls probe, which must return with the stack where it was.
    void CallBalanced(Probe probe, const std::string& args) {
        EXPECT_EQ(Call(probe, args), "") << args;
        EXPECT_EQ(gTopAfter, gTopBefore) << args << ": the stack is not back where it was";
    }
};

TEST_F(Arguments, NumericAndFlagOptionsAreTruncatedAndDefaultWhenAbsentOrNil) {
    const std::string table =
        "{level = 1.9, low = -0.5, big = 1e10, small = -1e10, nan = 0/0, text = '12', "
        "word = 'abc', gone = nil, [1] = 99, LEVEL = 5, unknown = 3}";
    const struct {
        const char* key;
        int32_t value;
    } cases[] = {{"level", 1}, {"low", 0},  {"big", INT32_MAX}, {"nan", 0}, {"text", 12},
                 {"word", 0},  {"gone", 42}, {"missing", 42},    {"1", 42},  {"Level", 42}};
    for (const auto& c : cases) {
        gKey = c.key;
        CallBalanced([](VmState* vm) { gInteger = OptionInteger(vm, 1, gKey, 42); }, table);
        EXPECT_EQ(gInteger, c.value) << c.key;
    }
    // A flag is on when its integer is not zero.
    for (const auto& [value, on] : {std::pair{"0.7", false}, std::pair{"-2", true},
                                    std::pair{"0/0", false}, std::pair{"nil", false}}) {
        gFlag = !on;
        CallBalanced([](VmState* vm) { gFlag = OptionFlag(vm, 1, "flag"); },
                     std::string("{flag = ") + value + ", other = 1}");
        EXPECT_EQ(gFlag, on) << value;
    }
}

StringOption gString;
char* gCopy;
int32_t gCopied;

TEST_F(Arguments, StringOptionsStayOnTheStackUntilCopied) {
    const Probe peek = [](VmState* vm) {
        PeekStringOption(vm, 1, "password", &gString);
        gCopied = CopyStringOption(gString, &gCopy);
    };
    const struct {
        const char* table;
        const char* text;  // null: absent
        size_t length;
    } cases[] = {{"{password = 'secret'}", "secret", 6},
                 {"{password = 'a\\0b'}", "a\0b", 3},
                 {"{password = ''}", "", 0},
                 {"{password = nil, Password = 'x'}", nullptr, 0},
                 {"{}", nullptr, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        host().calls().clear();
        EXPECT_EQ(Call(peek, c.table), "");
        EXPECT_EQ(gTopAfter, gTopBefore + (c.text != nullptr ? 1 : 0)) << "one slot kept";
        if (c.text == nullptr) {
            EXPECT_TRUE(gString.text == nullptr && gCopy == nullptr && CountCalls(host(), "Alloc") == 0);
            continue;
        }
        EXPECT_EQ(gString.length, c.length);
        // The copy holds the string and its terminating zero, in a block of
        // exactly that size.
        EXPECT_EQ(host().calls(), std::vector<std::string>{"Alloc(" + std::to_string(c.length + 1) +
                                                           ",0,tstring)"});
        EXPECT_EQ(gCopied, 0);
        ASSERT_NE(gCopy, nullptr);
        EXPECT_EQ(std::string(gCopy, c.length + 1), std::string(c.text, c.length) + '\0');
        EXPECT_EQ(host().LiveBlocksByTag(), (std::map<std::string, int>{{"tstring", 1}}));
        FreeStringOption(gCopy);
        EXPECT_EQ(host().LiveBlocks(), 0u);
    }
    FreeStringOption(nullptr);

    EXPECT_NE(Call(peek, "{password = {}}").find("string expected"), std::string::npos);
    EXPECT_EQ(host().LiveBlocks(), 0u);
}

}  // namespace
}  // namespace zipcvx_test
