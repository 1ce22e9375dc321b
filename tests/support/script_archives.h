// Script archives through the loaded plugin: its codes, the archive records the host lists, and
// changes made through libzip on an archive an object owns, which zip.CloseArchive then writes.
#ifndef ZIPCVX_TESTS_SCRIPT_ARCHIVES_H
#define ZIPCVX_TESTS_SCRIPT_ARCHIVES_H

#include <zip.h>

#include <string>
#include <vector>

#include "support/fault_sweep.h"
#include "support/plugin_host.h"

namespace zipcvx_test {

// A Lua long string for a path.
inline std::string Q(const std::string& text) {
    return "[[" + text + "]]";
}

// The data of a pending entry: blocks of bytes that do not compress, until
// the read after readsBeforeDeath fails, exits the process or kills it.
struct DyingSource {
    enum Death { kFail, kExit, kKill };
    int readsBeforeDeath;
    Death death = kFail;
    int reads = 0;
    int frees = 0;  // tells whether the archive that owns it was released
};
inline constexpr int kDyingSourceExit = 42;

class ScriptArchives : public PluginHost {
  protected:
    // The code the plugin registered for a message.
    int32_t Code(const char* message);
    int32_t ErrZip() { return Code("A zip error has occurred!"); }

    // Runs a chunk; true when it ran through. A failing command's code must be one of codes, or
    // any code of a failed script callback when callbackCodes is set.
    bool Command(const std::string& chunk, const std::vector<int32_t>& codes,
                 bool callbackCodes = false);

    // The records in the host's list order, and the archive of the one with this number.
    std::vector<ArchiveObject*> Records();
    zip_t* ArchiveNumbered(int32_t number);

    // Pending entries: a copy of data, or the dying source's.
    static void AddPending(zip_t* archive, const std::string& name, const std::string& data);
    static void AddDying(zip_t* archive, const std::string& name, DyingSource* source);
};

}  // namespace zipcvx_test

#endif
