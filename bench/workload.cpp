// The benchmark's archives, made from a seeded stream of words drawn from a
// small vocabulary: text that deflate packs about 3:1, like source code or
// logs, and the same bytes on every machine.
#include "bench/workload.h"

#include <sys/stat.h>
#include <zip.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bench {
namespace {

constexpr int kGeneratorVersion = 1;
constexpr uint64_t kSeed = 0x7a69702e637678;  // fixed: the data must never change
constexpr int kVocabulary = 1024;             // gives deflate's level 6 about 3:1
constexpr int kLevel = 6;
// 2021-03-05 09:07:03 UTC; the generator runs in UTC, so the stored DOS
// times are the same wherever it runs.
constexpr time_t kEntryTime = 1614935223;

class SplitMix {
  public:
    explicit SplitMix(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

  private:
    uint64_t state_;
};

// Words of 2 to 10 letters, separated by spaces and now and then a newline.
class Text {
  public:
    explicit Text(uint64_t seed) : random_(seed) {
        for (auto& word : words_) {
            const int length = 2 + static_cast<int>(random_.Next() % 9);
            for (int i = 0; i < length; ++i) {
                word.push_back(static_cast<char>('a' + random_.Next() % 26));
            }
        }
    }
    std::string Take(size_t n) {
        std::string out;
        out.reserve(n + 16);
        while (out.size() < n) {
            const uint64_t r = random_.Next();
            out += words_[r % kVocabulary];
            out += (r >> 40) % 12 == 0 ? '\n' : ' ';
        }
        out.resize(n);
        return out;
    }

  private:
    SplitMix random_;
    std::string words_[kVocabulary];
};

bool Fail(std::string* error, const std::string& what) {
    *error = what;
    return false;
}

std::string ZipError(zip_t* archive) {
    return zip_error_strerror(zip_get_error(archive));
}

// One archive from (name, bytes, method) entries; a name ending in '/' is a
// directory. The bytes must live until the archive is written.
struct Entry {
    std::string name;
    const std::string* bytes;  // null for a directory
    int32_t method;
};

bool WriteArchive(const std::string& path, const std::vector<Entry>& entries, std::string* error) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (archive == nullptr) return Fail(error, "cannot create " + path);
    for (const Entry& e : entries) {
        zip_int64_t index;
        if (e.bytes == nullptr) {
            index = zip_dir_add(archive, e.name.c_str(), ZIP_FL_ENC_UTF_8);
        } else {
            zip_source_t* source = zip_source_buffer(archive, e.bytes->data(), e.bytes->size(), 0);
            index = source == nullptr
                        ? -1
                        : zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_UTF_8);
            if (index < 0) zip_source_free(source);
            if (index >= 0 && zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                                       e.method, kLevel) != 0) {
                index = -1;
            }
        }
        if (index < 0 ||
            zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index), kEntryTime, 0) != 0) {
            const std::string message = ZipError(archive);
            zip_discard(archive);
            return Fail(error, path + ": " + e.name + ": " + message);
        }
    }
    if (zip_close(archive) != 0) {
        const std::string message = ZipError(archive);
        zip_discard(archive);
        return Fail(error, path + ": " + message);
    }
    return true;
}

bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) {
    FILE* f = fopen(path.c_str(), "wb");
    if (f == nullptr) return Fail(error, "cannot create " + path);
    const bool written = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (fclose(f) != 0 || !written) return Fail(error, "cannot write " + path);
    return true;
}

bool MakeDirectory(const std::string& path, std::string* error) {
    if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) return true;
    return Fail(error, "cannot make " + path + ": " + strerror(errno));
}

bool GenerateBig(const Workload& w, const Paths& paths, std::string* error) {
    Text text(kSeed);
    const std::string big = text.Take(static_cast<size_t>(w.BigBytes()));
    const std::string small = big.substr(0, static_cast<size_t>(w.SmallBytes()));
    return WriteArchive(paths.BigDeflated(), {{kBigEntry, &big, ZIP_CM_DEFLATE}}, error) &&
           WriteArchive(paths.BigStored(), {{kBigEntry, &big, ZIP_CM_STORE}}, error) &&
           WriteArchive(paths.SmallDeflated(), {{kBigEntry, &small, ZIP_CM_DEFLATE}}, error);
}

bool GenerateMany(const Workload& w, const Paths& paths, std::string* error) {
    Text text(kSeed + 1);
    SplitMix sizes(kSeed + 2);
    std::vector<std::string> contents;
    contents.reserve(static_cast<size_t>(w.directories * w.filesPerDirectory));
    std::vector<Entry> entries;
    for (int64_t d = 0; d < w.directories; ++d) {
        if (d % 2 == 0) entries.push_back({DirectoryName(d) + "/", nullptr, 0});
        for (int64_t k = 0; k < w.filesPerDirectory; ++k) {
            contents.push_back(text.Take(100 + sizes.Next() % 900));
            entries.push_back({FileName(d, k), &contents.back(), ZIP_CM_DEFLATE});
        }
    }
    return WriteArchive(paths.Many(), entries, error);
}

bool GenerateAdded(const Workload& w, const Paths& paths, std::string* error) {
    if (!MakeDirectory(paths.dir + "/added", error)) return false;
    Text text(kSeed + 3);
    for (int64_t i = 0; i < w.addedFiles; ++i) {
        if (!WriteFile(paths.AddedFile(i), text.Take(static_cast<size_t>(w.addedFileBytes)),
                       error)) {
            return false;
        }
    }
    return true;
}

std::string ManifestText(const Workload& w) {
    char text[256];
    snprintf(text, sizeof text,
             "generator %d\nsize_mib %" PRId64 "\ndirectories %" PRId64
             "\nfiles_per_directory %" PRId64 "\nadded_files %" PRId64 "\nadded_file_bytes %" PRId64
             "\n",
             kGeneratorVersion, w.sizeMiB, w.directories, w.filesPerDirectory, w.addedFiles,
             w.addedFileBytes);
    return text;
}

}  // namespace

int64_t Workload::Entries() const {
    return directories * filesPerDirectory + (directories + 1) / 2;
}

std::string Paths::AddedFile(int64_t i) const {
    char name[32];
    snprintf(name, sizeof name, "/added/f%05" PRId64 ".txt", i);
    return dir + name;
}

std::string DirectoryName(int64_t d) {
    char name[32];
    snprintf(name, sizeof name, "d%05" PRId64, d);
    return name;
}

std::string FileName(int64_t d, int64_t k) {
    return DirectoryName(d) + "/f" + std::to_string(k) + ".txt";
}

std::string LastFile(const Workload& w) {
    return FileName(w.directories - 1, w.filesPerDirectory - 1);
}

std::string LastImpliedDirectory(const Workload& w) {
    return DirectoryName((w.directories - 1) % 2 == 1 ? w.directories - 1 : w.directories - 2);
}

std::string LastOwnDirectory(const Workload& w) {
    return DirectoryName((w.directories - 1) % 2 == 0 ? w.directories - 1 : w.directories - 2);
}

bool Workload::operator==(const Workload& o) const {
    return sizeMiB == o.sizeMiB && directories == o.directories &&
           filesPerDirectory == o.filesPerDirectory && addedFiles == o.addedFiles &&
           addedFileBytes == o.addedFileBytes;
}

bool Generate(const Workload& w, const Paths& paths, std::string* error) {
    if (w.sizeMiB < 1 || w.directories < 2 || w.filesPerDirectory < 1 || w.addedFiles < 1) {
        return Fail(error, "sizes too small");
    }
    setenv("TZ", "UTC0", 1);  // DOS times are local times
    tzset();
    remove(paths.Manifest().c_str());
    return MakeDirectory(paths.dir, error) && GenerateBig(w, paths, error) &&
           GenerateMany(w, paths, error) && GenerateAdded(w, paths, error) &&
           WriteFile(paths.Manifest(), ManifestText(w), error);
}

bool ReadManifest(const Paths& paths, Workload* w) {
    FILE* f = fopen(paths.Manifest().c_str(), "r");
    if (f == nullptr) return false;
    std::string text;
    char line[256];
    while (fgets(line, sizeof line, f) != nullptr)
        text += line;
    fclose(f);
    int version = 0;
    Workload read;
    const int n =
        sscanf(text.c_str(),
               "generator %d size_mib %" SCNd64 " directories %" SCNd64
               " files_per_directory %" SCNd64 " added_files %" SCNd64 " added_file_bytes %" SCNd64,
               &version, &read.sizeMiB, &read.directories, &read.filesPerDirectory,
               &read.addedFiles, &read.addedFileBytes);
    if (n != 6 || version != kGeneratorVersion) return false;
    *w = read;
    return true;
}

}  // namespace bench
