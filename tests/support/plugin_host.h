// A started stand-in host per test; each ends with nothing allocated or open
// and no misuse of the host interface.
#ifndef ZIPCVX_TESTS_PLUGIN_HOST_H
#define ZIPCVX_TESTS_PLUGIN_HOST_H

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/host.h"
#include "plugin/plugin_state.h"

namespace zipcvx_test {

class PluginHost : public ::testing::Test {
  protected:
    // Tests that need other host options set them in their constructor.
    cvx::HostOptions options;

    // Loads and starts the plugin; at the end stops it and checks for leaks.
    void SetUp() override;
    void TearDown() override;

    // Runs a Lua chunk; fails the test when it raises.
    void Run(const std::string& chunk);
    // Runs a Lua chunk that must raise; returns the message.
    std::string RunError(const std::string& chunk);

    cvx::Host& host() { return *host_; }

    // A fresh directory for this test's files, removed at the end.
    const std::string& TempDir();

  private:
    std::unique_ptr<cvx::Host> host_;
    std::string tempDir_;
};

// White-box tests: the plugin's own code, linked into the test binary and
// served by this host (the loaded zip.cvx keeps its own state; the linked
// copy only borrows the host's service table).
class LinkedPlugin : public PluginHost {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        gPlugin.services = host().services();
    }
    void TearDown() override {
        gPlugin.services = nullptr;
        PluginHost::TearDown();
    }
};

// The n-th next operator new throws std::bad_alloc, as when the host's own
// memory runs short; 0 disarms. Returns whether the armed failure came.
// Not available under AddressSanitizer, which must own the heap itself.
bool OperatorNewFaultsAvailable();
bool FailOperatorNew(int64_t n);
// Blocks from operator new not yet deleted.
int64_t LiveOperatorNewBlocks();

// How many logged service calls start with prefix ("CloseFile", "Alloc(").
int CountCalls(cvx::Host& host, const std::string& prefix);

// Writes bytes to a file; reads a whole file.
void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);
// Runs a shell command; returns its exit status and, if wanted, its output.
int Shell(const std::string& command, std::string* output = nullptr);

}  // namespace zipcvx_test

#endif
