// docs/commands.md against the library tables: every command has its section
// with its help string exactly, every constant its row with its value, and
// nothing is documented that the tables lack. The page's examples run in
// order in one folder and print what their "-->" comments say.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/entry_points.h"
#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

std::vector<std::string> PageLines() {
    std::ifstream in(std::string(ZIPCVX_SOURCE_DIR) + "/docs/commands.md");
    EXPECT_TRUE(in) << "docs/commands.md is missing";
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The fenced blocks of the page: the fence's language tag and the lines.
struct Block {
    std::string language;
    size_t firstLine;  // 0-based index of the fence line
    std::vector<std::string> lines;
};

std::vector<Block> Blocks(const std::vector<std::string>& lines) {
    std::vector<Block> blocks;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("```", 0) != 0) continue;
        Block block{lines[i].substr(3), i, {}};
        for (++i; i < lines.size() && lines[i] != "```"; ++i)
            block.lines.push_back(lines[i]);
        blocks.push_back(block);
    }
    return blocks;
}

int CommandCount() {
    int n = 0;
    while (GetCommands()[n].name != nullptr)
        ++n;
    return n;
}

TEST(CommandsDoc, EverySectionShowsItsCommandsHelpStringExactly) {
    const std::vector<std::string> lines = PageLines();
    const std::vector<Block> blocks = Blocks(lines);
    std::map<std::string, int> documented;  // "zip.Name" -> sections
    for (const std::string& line : lines) {
        if (line.rfind("## zip.", 0) == 0) ++documented[line.substr(3)];
    }
    const CommandRecord* commands = GetCommands();
    const HelpStringRecord* help = GetHelpStrings();
    for (int i = 0; i < CommandCount(); ++i) {
        const std::string heading = std::string("## zip.") + commands[i].name;
        EXPECT_EQ(documented[heading.substr(3)], 1) << heading;
        documented.erase(heading.substr(3));
        // The section's first block is the synopsis, byte for byte.
        size_t at = 0;
        while (at < lines.size() && lines[at] != heading)
            ++at;
        const Block* synopsis = nullptr;
        for (const Block& b : blocks) {
            if (b.firstLine > at) {
                synopsis = &b;
                break;
            }
        }
        ASSERT_NE(synopsis, nullptr) << heading;
        EXPECT_EQ(synopsis->language, "") << heading;
        ASSERT_EQ(synopsis->lines.size(), 1u) << heading;
        EXPECT_EQ(synopsis->lines[0], help[i].text) << heading;
    }
    for (const auto& [name, count] : documented) {
        ADD_FAILURE() << "documented but not in the command table: " << name;
    }
}

// Rows of the form | `NAME` | VALUE | ... in the section "## Constants".
TEST(CommandsDoc, ListsEveryConstantWithItsValue) {
    std::map<std::string, std::string> rows;
    bool inSection = false;
    for (const std::string& line : PageLines()) {
        if (line.rfind("## ", 0) == 0) inSection = line == "## Constants";
        if (!inSection || line.rfind("| `", 0) != 0) continue;
        const size_t nameEnd = line.find("` | ", 3);
        ASSERT_NE(nameEnd, std::string::npos) << line;
        const size_t valueEnd = line.find(" |", nameEnd + 4);
        ASSERT_NE(valueEnd, std::string::npos) << line;
        const std::string name = line.substr(3, nameEnd - 3);
        EXPECT_EQ(rows.count(name), 0u) << "listed twice: " << name;
        rows[name] = line.substr(nameEnd + 4, valueEnd - nameEnd - 4);
    }
    for (const ConstantRecord* c = GetConstants(); c->name != nullptr; ++c) {
        char value[32];
        snprintf(value, sizeof value, "%g", c->value);
        ASSERT_EQ(rows.count(c->name), 1u) << "not documented: " << c->name;
        EXPECT_EQ(rows[c->name], value) << c->name;
        rows.erase(c->name);
    }
    for (const auto& [name, value] : rows) {
        ADD_FAILURE() << "documented but not in the constants table: " << name;
    }
}

// What a block says it prints: the text after "--> " on each line.
std::string ExpectedOutput(const Block& block) {
    std::string expected;
    for (const std::string& line : block.lines) {
        const size_t at = line.find("--> ");
        if (at != std::string::npos) expected += line.substr(at + 4) + "\n";
    }
    return expected;
}

TEST(CommandsDoc, ExamplesRunInOrderAndPrintWhatTheySay) {
    char pattern[] = "/tmp/zipcvx-doc-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    int n = 0;
    for (const Block& block : Blocks(PageLines())) {
        if (block.language != "lua") continue;
        const std::string name = "example" + std::to_string(++n) + ".lua";
        std::ofstream script(dir / name);
        for (const std::string& line : block.lines)
            script << line << "\n";
        script.close();
        std::string output;
        const int status =
            Shell("cd '" + dir.string() + "' && " + ZIPCVX_HOST_COMMAND + " --check-leaks " + name,
                  &output);
        const std::string where = "the example at line " + std::to_string(block.firstLine + 1);
        EXPECT_EQ(status, 0) << where << ":\n" << output;
        EXPECT_EQ(output, ExpectedOutput(block)) << where;
    }
    EXPECT_GT(n, CommandCount()) << "an example for every command, and the first one";
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zipcvx_test
