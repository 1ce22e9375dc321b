#include "support/fixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/plugin_host.h"

namespace zipcvx_test {

std::string MakeArchive(const std::string& dir, const std::string& archiveName,
                        const std::vector<FixtureFile>& files, const std::string& tool) {
    const std::string source = dir + "/" + archiveName + ".files";
    std::filesystem::create_directories(source);
    std::string names;
    for (const FixtureFile& f : files) {
        const std::filesystem::path path = source + "/" + f.name;
        std::filesystem::create_directories(path.parent_path());
        WriteFileBytes(path, f.content);
        names += " '" + f.name + "'";
    }
    const std::string archive = dir + "/" + archiveName;
    std::string output;
    const int status =
        Shell("cd '" + source + "' && " + tool + " '" + archive + "'" + names, &output);
    EXPECT_EQ(status, 0) << tool << ": " << output;
    std::filesystem::remove_all(source);
    return archive;
}

int CountCalls(cvx::Host& host, const std::string& prefix) {
    int n = 0;
    for (const std::string& c : host.calls())
        n += c.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

}  // namespace zipcvx_test
