// The benchmark's archives, made from a seeded stream of words drawn from a
// small vocabulary: text that deflate packs about 3:1, like source code or
// logs, and the same bytes on every machine.
#include <sys/stat.h>
#include <zip.h>

#include <cinttypes>
#include <cstdlib>

#include "bench/bench.h"

namespace bench {
namespace {

constexpr int kGeneratorVersion = 2;
constexpr uint64_t kSeed = 0x7a69702e637678;  // fixed: the data must never change
constexpr int kVocabulary = 1024;             // gives deflate's level 6 about 3:1
constexpr int64_t kFilesPerDirectory = 10;    // as Workload::Entries counts
// 2021-03-05 09:07:03; the generator runs in UTC, so the stored DOS times
// are the same wherever it runs.
constexpr time_t kEntryTime = 1614935223;

struct SplitMix {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

// Words of 2 to 10 letters, separated by spaces and now and then a newline.
struct Text {
    SplitMix random;
    std::vector<std::string> words;
    explicit Text(uint64_t seed) : random{seed}, words(kVocabulary) {
        for (std::string& word : words) {
            for (uint64_t length = 2 + random.Next() % 9; word.size() < length;)
                word.push_back(static_cast<char>('a' + random.Next() % 26));
        }
    }
    std::string Take(size_t n) {
        std::string out;
        out.reserve(n + 16);
        while (out.size() < n) {
            const uint64_t r = random.Next();
            out += words[r % kVocabulary];
            out += (r >> 40) % 12 == 0 ? '\n' : ' ';
        }
        out.resize(n);
        return out;
    }
};

struct Entry {
    std::string name;          // ending in '/' for a directory
    const std::string* bytes;  // null for a directory; lives until the archive is written
    int32_t method;
};

bool WriteArchive(const std::string& path, const std::vector<Entry>& entries, std::string* error) {
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    if (archive == nullptr) {
        *error = "cannot create " + path;
        return false;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < entries.size(); ++i) {
        const Entry& e = entries[i];
        zip_source_t* source =
            e.bytes == nullptr ? nullptr
                               : zip_source_buffer(archive, e.bytes->data(), e.bytes->size(), 0);
        const zip_int64_t index = e.bytes == nullptr
                                      ? zip_dir_add(archive, e.name.c_str(), 0)
                                      : zip_file_add(archive, e.name.c_str(), source, 0);
        if (index < 0) zip_source_free(source);
        ok = index >= 0 &&
             (e.bytes == nullptr || zip_set_file_compression(archive, i, e.method, 6) == 0) &&
             zip_file_set_mtime(archive, i, kEntryTime, 0) == 0;
    }
    if (ok && zip_close(archive) == 0) return true;
    *error = path + ": " + zip_error_strerror(zip_get_error(archive));
    zip_discard(archive);
    return false;
}

std::string DirectoryName(int64_t d) {
    char name[32];
    snprintf(name, sizeof name, "d%05" PRId64, d);
    return name;
}

bool GenerateArchives(const Workload& w, const Paths& paths, std::string* error) {
    Text text(kSeed);
    const std::string big = text.Take(static_cast<size_t>(w.BigBytes()));
    const std::string small = big.substr(0, static_cast<size_t>(w.SmallBytes()));
    if (!WriteArchive(paths.BigDeflated(), {{kBigEntry, &big, ZIP_CM_DEFLATE}}, error) ||
        !WriteArchive(paths.BigStored(), {{kBigEntry, &big, ZIP_CM_STORE}}, error) ||
        !WriteArchive(paths.SmallDeflated(), {{kBigEntry, &small, ZIP_CM_DEFLATE}}, error)) {
        return false;
    }
    Text words(kSeed + 1);
    SplitMix sizes{kSeed + 2};
    std::vector<std::string> contents;
    contents.reserve(static_cast<size_t>(w.directories * kFilesPerDirectory));
    std::vector<Entry> entries;
    for (int64_t d = 0; d < w.directories; ++d) {
        if (d % 2 == 0) entries.push_back({DirectoryName(d) + "/", nullptr, 0});
        for (int64_t k = 0; k < kFilesPerDirectory; ++k) {
            contents.push_back(words.Take(100 + sizes.Next() % 900));
            entries.push_back({DirectoryName(d) + "/f" + std::to_string(k) + ".txt",
                               &contents.back(), ZIP_CM_DEFLATE});
        }
    }
    return WriteArchive(paths.Many(), entries, error);
}

}  // namespace

std::string LastFile(const Workload& w) {
    return DirectoryName(w.directories - 1) + "/f" + std::to_string(kFilesPerDirectory - 1) +
           ".txt";
}

std::string LastImpliedDirectory(const Workload& w) {
    return DirectoryName((w.directories - 1) % 2 == 1 ? w.directories - 1 : w.directories - 2);
}

// The manifest is written last, so a folder with one holds a whole workload.
bool Generate(const Workload& w, const Paths& paths, std::string* error) {
    setenv("TZ", "UTC0", 1);  // DOS times are local times
    tzset();
    remove(paths.Manifest().c_str());
    mkdir(paths.dir.c_str(), 0755);
    if (w.directories < 2 || !GenerateArchives(w, paths, error)) {
        if (error->empty()) *error = "too few directories";
        return false;
    }
    FILE* f = fopen(paths.Manifest().c_str(), "w");
    if (f == nullptr ||
        fprintf(f, "generator %d\nsize_mib %" PRId64 "\ndirectories %" PRId64 "\n",
                kGeneratorVersion, w.sizeMiB, w.directories) < 0 ||
        fclose(f) != 0) {
        *error = "cannot write " + paths.Manifest();
        return false;
    }
    return true;
}

bool ReadManifest(const Paths& paths, Workload* w) {
    FILE* f = fopen(paths.Manifest().c_str(), "r");
    if (f == nullptr) return false;
    int version = 0;
    Workload read;
    const int n = fscanf(f, "generator %d size_mib %" SCNd64 " directories %" SCNd64, &version,
                         &read.sizeMiB, &read.directories);
    fclose(f);
    if (n != 3 || version != kGeneratorVersion) return false;
    *w = read;
    return true;
}

}  // namespace bench
