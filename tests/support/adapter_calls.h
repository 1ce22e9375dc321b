// The entry points of the loaded plugin or of its code linked into the tests,
// and a fixture with the archive most adapter tests read.
#ifndef ZIPCVX_TESTS_ADAPTER_CALLS_H
#define ZIPCVX_TESTS_ADAPTER_CALLS_H

#include <string>

#include "adapter/adapter_dir.h"
#include "adapter/adapter_file.h"
#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {

struct AdapterCalls {
    CVX_ENTRY_POINTS(CVX_ENTRY_FIELD)
};

// The host's current date in the adapter tests, for directories without
// an entry of their own, and the date of every entry MakeZip writes.
inline constexpr DateGroup kHostNow{30, 45, 16, 24, 11, 2031};
inline constexpr DateGroup kEntryDate{2, 7, 9, 5, 2, 2017};
// The date of pics.zip's "img/" entry.
inline constexpr DateGroup kImgDate{58, 59, 23, 31, 0, 2016};
inline const char kDocText[] = "a document\n";

class AdapterTest : public PluginHost {
  protected:
    // Tests of the linked code set this before SetUp: it is then served by
    // this test's host, and its allocation hooks are reset at the end.
    bool linked = false;

    void SetUp() override;
    void TearDown() override;
    AdapterCalls& A();
    std::string Path(const std::string& name) { return TempDir() + "/" + name; }
    void* Open(const std::string& path, int32_t mode = kOpenRead, const TagItem* tags = nullptr) {
        return A().FOpen(path.c_str(), mode, tags);
    }
    // Reads the rest of an open file in blocks of `block` bytes.
    std::string ReadAll(void* file, int32_t block = 4096);
    // A directory's names ("name/" for a directory; "(none)" when it does not open), with
    // `details` each followed by its size and the year of its dates, and comma-separated.
    std::string List(const std::string& path, bool details = false);

  private:
    AdapterCalls calls_{};
    const cvx::Host* callsFor_ = nullptr;
};

// Most adapter tests read `pics`, pics.zip, made in this order (all dated
// kEntryDate except img/):
//   img/ (kImgDate), img/a.png (CountingBytes(100000), deflated), doc.txt (kDocText, stored),
//   IMG/b.png "bb", Img/sub/c.png "c", doc/deep/x.txt "x", empty.txt ""
class PicsTest : public AdapterTest {
  protected:
    void SetUp() override;
    std::string pics;
};

}  // namespace zipcvx_test

#endif
