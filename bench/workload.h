// What the benchmark works on: the archives and files that `zipcvx_bench
// generate` makes in a scratch folder, described by the manifest it writes
// beside them, and the names inside them that the cases look for.
#ifndef ZIPCVX_BENCH_WORKLOAD_H
#define ZIPCVX_BENCH_WORKLOAD_H

#include <cstdint>
#include <string>

namespace bench {

// The sizes of one workload. Everything is made from a fixed seed, so the
// same sizes give byte-identical archives on every machine.
struct Workload {
    int64_t sizeMiB = 256;        // the big entry, deflated and stored
    int64_t directories = 10000;  // of the many-entry archive
    int64_t filesPerDirectory = 10;
    int64_t addedFiles = 1000;  // for the close benchmark
    int64_t addedFileBytes = 4096;

    int64_t BigBytes() const { return sizeMiB << 20; }
    // The small copy of the big entry shows that extraction's memory does
    // not grow with the entry.
    int64_t SmallBytes() const { return BigBytes() / 16; }
    int64_t Entries() const;  // files plus the directories that have an entry
    bool operator==(const Workload& other) const;
};

// The scratch folder and the file names in it.
struct Paths {
    std::string dir;

    std::string Manifest() const { return dir + "/manifest.txt"; }
    std::string BigDeflated() const { return dir + "/big-deflate.zip"; }
    std::string BigStored() const { return dir + "/big-store.zip"; }
    std::string SmallDeflated() const { return dir + "/small-deflate.zip"; }
    std::string Many() const { return dir + "/many.zip"; }
    std::string AddedFile(int64_t i) const;  // i from 0
    std::string Output(const std::string& caseId) const { return dir + "/out-" + caseId + ".zip"; }
};

// The name of the only entry of the big archives.
inline constexpr char kBigEntry[] = "data.bin";

// Names in the many-entry archive. Directory d is "dNNNNN/" and holds the
// files "dNNNNN/fK.txt"; every directory with an even number also has an
// entry of its own, the odd ones are known only from deeper names.
std::string DirectoryName(int64_t d);  // without '/'
std::string FileName(int64_t d, int64_t k);
// The names the lookups ask for, near the end of the entry list (the worst
// case for a scan): the last file, the last odd directory, the last even one.
std::string LastFile(const Workload& w);
std::string LastImpliedDirectory(const Workload& w);
std::string LastOwnDirectory(const Workload& w);

// Writes every archive and file of the workload into paths.dir (made if
// missing) and then the manifest. Returns false with a message on failure.
// The manifest is written last, so a folder with one holds a whole workload.
bool Generate(const Workload& w, const Paths& paths, std::string* error);
// Reads the manifest; false when it is missing or was made by another
// version of the generator.
bool ReadManifest(const Paths& paths, Workload* w);

}  // namespace bench

#endif
