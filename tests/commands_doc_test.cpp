// docs/commands.md against the library tables: every command has its section with its help string
// exactly, every constant its row with its value, and nothing is documented that the tables lack.
// The page's examples run in order in one folder and print what their "-->" comments say.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "plugin/entry_points.h"
#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

struct Block {
    std::string fence, heading;  // the fence's tag, the "## " heading it stands under
    size_t line;                 // of the fence
    std::string text;
};

struct Page {
    std::map<std::string, int> sections;           // "## " heading -> how often
    std::map<std::string, std::string> constants;  // | `NAME` | VALUE | under "## Constants"
    std::vector<Block> blocks;
};

Page ReadPage() {
    std::ifstream in(std::string(ZIPCVX_SOURCE_DIR) + "/docs/commands.md");
    Page page;
    std::string heading, line;
    for (size_t n = 1; std::getline(in, line); ++n) {
        if (line.rfind("## ", 0) == 0) ++page.sections[heading = line.substr(3)];
        if (line.rfind("```", 0) == 0) {
            page.blocks.push_back({line.substr(3), heading, n, ""});
            while (std::getline(in, line) && ++n && line != "```")
                page.blocks.back().text += line + "\n";
        } else if (heading == "Constants" && line.rfind("| `", 0) == 0) {
            const size_t end = line.find("` | ");
            EXPECT_EQ(page.constants.count(line.substr(3, end - 3)), 0u) << line;
            page.constants[line.substr(3, end - 3)] =
                line.substr(end + 4, line.find(" |", end + 4) - end - 4);
        }
    }
    EXPECT_FALSE(page.blocks.empty()) << "docs/commands.md is missing";
    return page;
}

TEST(CommandsDoc, EveryCommandAndConstantAsTheTablesHoldThem) {
    Page page = ReadPage();
    int commands = 0;
    for (const CommandRecord* c = GetCommands(); c->name != nullptr; ++c, ++commands) {
        const std::string heading = std::string("zip.") + c->name;
        EXPECT_EQ(page.sections[heading], 1) << heading;
        page.sections.erase(heading);
        // The section's first block is the synopsis, byte for byte.
        std::string synopsis = "(none)";
        for (auto b = page.blocks.rbegin(); b != page.blocks.rend(); ++b) {
            if (b->heading == heading) synopsis = b->fence + b->text;
        }
        EXPECT_EQ(synopsis, GetHelpStrings()[commands].text + std::string("\n"));
    }
    for (const auto& [heading, count] : page.sections)
        EXPECT_NE(heading.rfind("zip.", 0), 0u) << "documented but not a command: " << heading;
    for (const ConstantRecord* c = GetConstants(); c->name != nullptr; ++c) {
        char value[32];
        snprintf(value, sizeof value, "%g", c->value);
        EXPECT_EQ(page.constants[c->name], value) << c->name;
        page.constants.erase(c->name);
    }
    for (const auto& [name, value] : page.constants)
        ADD_FAILURE() << "documented but not in the constants table: " << name;
}

TEST(CommandsDoc, ExamplesRunInOrderAndPrintWhatTheySay) {
    char pattern[] = "/tmp/zipcvx-doc-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    int n = 0;
    for (const Block& block : ReadPage().blocks) {
        if (block.fence != "lua") continue;
        const std::string name = "example" + std::to_string(++n) + ".lua";
        std::ofstream(dir / name) << block.text;
        std::string expected;  // the text after "--> " on each line
        for (size_t at = 0; (at = block.text.find("--> ", at)) != std::string::npos; at += 4)
            expected += block.text.substr(at + 4, block.text.find('\n', at) - at - 3);
        std::string output;
        EXPECT_EQ(
            Shell("cd '" + dir.string() + "' && " + ZIPCVX_HOST_COMMAND + " --check-leaks " + name,
                  &output),
            0)
            << "the example at line " << block.line << ":\n"
            << output;
        EXPECT_EQ(output, expected) << "the example at line " << block.line;
    }
    EXPECT_GT(n, 17) << "an example for every command, and the first one";
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zipcvx_test
