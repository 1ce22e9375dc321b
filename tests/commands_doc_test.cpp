// docs/commands.md against the library tables: every command has its section
// with its help string exactly, every constant its row with its value, and
// nothing is documented that the tables lack. The page's examples run in
// order in one folder and print what their "-->" comments say.
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
    std::string language;  // the fence's tag
    std::string heading;   // the "## " heading it stands under
    size_t line;           // 1-based line of the fence
    std::vector<std::string> lines;
};

struct Page {
    std::vector<std::string> headings;
    std::vector<Block> blocks;
    std::map<std::string, std::string> constants;  // | `NAME` | VALUE | under "## Constants"
};

Page ReadPage() {
    std::ifstream in(std::string(ZIPCVX_SOURCE_DIR) + "/docs/commands.md");
    EXPECT_TRUE(in) << "docs/commands.md is missing";
    Page page;
    std::string heading;
    size_t n = 0;
    for (std::string line; std::getline(in, line);) {
        ++n;
        if (line.rfind("## ", 0) == 0) page.headings.push_back(heading = line.substr(3));
        if (line.rfind("```", 0) == 0) {
            Block block{line.substr(3), heading, n, {}};
            while (std::getline(in, line) && line != "```") {
                ++n;
                block.lines.push_back(line);
            }
            ++n;
            page.blocks.push_back(block);
        } else if (heading == "Constants" && line.rfind("| `", 0) == 0) {
            const size_t nameEnd = line.find("` | ", 3);
            const size_t valueEnd =
                nameEnd == std::string::npos ? nameEnd : line.find(" |", nameEnd + 4);
            if (valueEnd == std::string::npos) {
                ADD_FAILURE() << "not a row: " << line;
                continue;
            }
            const std::string name = line.substr(3, nameEnd - 3);
            EXPECT_EQ(page.constants.count(name), 0u) << "listed twice: " << name;
            page.constants[name] = line.substr(nameEnd + 4, valueEnd - nameEnd - 4);
        }
    }
    return page;
}

int CommandCount() {
    int n = 0;
    while (GetCommands()[n].name != nullptr)
        ++n;
    return n;
}

TEST(CommandsDoc, EveryCommandAndConstantAsTheTablesHoldThem) {
    const Page page = ReadPage();
    std::map<std::string, int> documented;  // "zip.Name" -> sections
    for (const std::string& heading : page.headings) {
        if (heading.rfind("zip.", 0) == 0) ++documented[heading];
    }
    for (int i = 0; i < CommandCount(); ++i) {
        const std::string heading = std::string("zip.") + GetCommands()[i].name;
        EXPECT_EQ(documented[heading], 1) << heading;
        documented.erase(heading);
        // The section's first block is the synopsis, byte for byte.
        const Block* synopsis = nullptr;
        for (const Block& b : page.blocks) {
            if (synopsis == nullptr && b.heading == heading) synopsis = &b;
        }
        ASSERT_NE(synopsis, nullptr) << heading;
        EXPECT_EQ(synopsis->language, "") << heading;
        EXPECT_EQ(synopsis->lines, std::vector<std::string>{GetHelpStrings()[i].text}) << heading;
    }
    for (const auto& [name, count] : documented)
        ADD_FAILURE() << "documented but not in the command table: " << name;

    std::map<std::string, std::string> rows = page.constants;
    for (const ConstantRecord* c = GetConstants(); c->name != nullptr; ++c) {
        char value[32];
        snprintf(value, sizeof value, "%g", c->value);
        ASSERT_EQ(rows.count(c->name), 1u) << "not documented: " << c->name;
        EXPECT_EQ(rows[c->name], value) << c->name;
        rows.erase(c->name);
    }
    for (const auto& [name, value] : rows)
        ADD_FAILURE() << "documented but not in the constants table: " << name;
}

TEST(CommandsDoc, ExamplesRunInOrderAndPrintWhatTheySay) {
    char pattern[] = "/tmp/zipcvx-doc-XXXXXX";
    const std::filesystem::path dir = mkdtemp(pattern);
    int n = 0;
    for (const Block& block : ReadPage().blocks) {
        if (block.language != "lua") continue;
        const std::string name = "example" + std::to_string(++n) + ".lua";
        std::ofstream script(dir / name);
        std::string expected;  // the text after "--> " on each line
        for (const std::string& line : block.lines) {
            script << line << "\n";
            const size_t at = line.find("--> ");
            if (at != std::string::npos) expected += line.substr(at + 4) + "\n";
        }
        script.close();
        std::string output;
        const int status =
            Shell("cd '" + dir.string() + "' && " + ZIPCVX_HOST_COMMAND + " --check-leaks " + name,
                  &output);
        const std::string where = "the example at line " + std::to_string(block.line);
        EXPECT_EQ(status, 0) << where << ":\n" << output;
        EXPECT_EQ(output, expected) << where;
    }
    EXPECT_GT(n, CommandCount()) << "an example for every command, and the first one";
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace zipcvx_test
