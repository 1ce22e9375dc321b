// Archives for tests, written by python3's zipfile or by real archivers (tools
// no one here wrote), and patches that make an entry lie about its CRC or size.
#ifndef ZIPCVX_TESTS_ZIP_FIXTURES_H
#define ZIPCVX_TESTS_ZIP_FIXTURES_H

#include <string>
#include <vector>

namespace zipcvx_test {

struct ZipEntry {
    std::string name;
    std::string data;
    bool deflate = true;
    int date[6] = {2017, 3, 5, 9, 7, 2};  // year, month from 1, day, hour, minute, second
};

// Writes the entries, in this order, as the archive at path.
void MakeZip(const std::string& path, const std::vector<ZipEntry>& entries);

// Writes the files into a fresh folder below dir and packs them into
// dir/archiveName with a real archiver, run in that folder as
// "TOOL ARCHIVE FILES..." (for instance "zip -q -X"). Returns the path.
std::string MakeArchive(const std::string& dir, const std::string& archiveName,
                        const std::vector<ZipEntry>& files, const std::string& tool);
inline const char* const kInfoZip = "zip -q -X";
inline const char* const kSevenZip = "7zz a -tzip -bso0 -bsp0";

// Adds the deltas to the CRC and the uncompressed size that both headers of
// the named entry record.
void PatchEntry(const std::string& path, const std::string& name, int crcDelta, int sizeDelta);

// The bytes 0, 1, 2, ... 250, 0, 1, ... : every offset can be checked.
std::string CountingBytes(size_t size);

}  // namespace zipcvx_test

#endif
