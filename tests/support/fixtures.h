// Archives made by real archivers, and what the host's call log holds.
#ifndef ZIPCVX_TESTS_FIXTURES_H
#define ZIPCVX_TESTS_FIXTURES_H

#include <string>
#include <vector>

#include "host/host.h"

namespace zipcvx_test {

struct FixtureFile {
    std::string name;
    std::string content;
};

// Writes the files into a fresh folder below dir and packs them into
// dir/archiveName with a real archiver, run in that folder as
// "TOOL ARCHIVE FILES..." (for instance "zip -q -X"). Returns the path.
std::string MakeArchive(const std::string& dir, const std::string& archiveName,
                        const std::vector<FixtureFile>& files, const std::string& tool);

// The command lines of the archivers the fixtures are made with.
inline const char* const kInfoZip = "zip -q -X";
inline const char* const kSevenZip = "7zz a -tzip -bso0 -bsp0";

// How many logged service calls start with prefix ("CloseFile", "Alloc(").
int CountCalls(cvx::Host& host, const std::string& prefix);

}  // namespace zipcvx_test

#endif
