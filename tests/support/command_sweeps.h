// A fixture for sweeping script commands: a chunk runs with one service
// failing at each of its calls in turn, and every failing command must
// answer with one of the codes its row allows.
#ifndef ZIPCVX_TESTS_COMMAND_SWEEPS_H
#define ZIPCVX_TESTS_COMMAND_SWEEPS_H

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

class CommandSweepTest : public PluginHost {
  protected:
    // The code the plugin registered for a message.
    int32_t Code(const char* message);
    int32_t ErrOpenArchive() { return Code("Error opening zip archive %s!"); }
    int32_t ErrZip() { return Code("A zip error has occurred!"); }

    // Runs a chunk; true when it ran through. A failing command's code must
    // be one of codes, or any code of a failed script callback when
    // callbackCodes is set.
    bool Command(const std::string& chunk, const std::vector<int32_t>& codes,
                 bool callbackCodes = false);

    // The archive object with this number, as the host lists it.
    zip_t* ArchiveNumbered(int32_t number);
};

}  // namespace zipcvx_test

#endif
