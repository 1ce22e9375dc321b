#include "support/plugin_host.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZIPCVX_TESTS_NO_NEW_FAULTS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZIPCVX_TESTS_NO_NEW_FAULTS 1
#endif

namespace {
int64_t gNewCountdown = 0;
bool gNewFailed = false;
int64_t gNewLive = 0;
}  // namespace

#ifndef ZIPCVX_TESTS_NO_NEW_FAULTS
// Not inlined: the compiler would take the pairing of malloc and free
// inside them for a mismatch.
[[gnu::noinline]] void* operator new(std::size_t size) {
    if (gNewCountdown > 0 && --gNewCountdown == 0) {
        gNewFailed = true;
        throw std::bad_alloc();
    }
    void* block = malloc(size > 0 ? size : 1);
    if (block == nullptr) throw std::bad_alloc();
    ++gNewLive;
    return block;
}
[[gnu::noinline]] void operator delete(void* block) noexcept {
    if (block != nullptr) --gNewLive;
    free(block);
}
[[gnu::noinline]] void operator delete(void* block, std::size_t) noexcept {
    ::operator delete(block);
}
#endif

namespace zipcvx_test {

bool OperatorNewFaultsAvailable() {
#ifdef ZIPCVX_TESTS_NO_NEW_FAULTS
    return false;
#else
    return true;
#endif
}

int64_t LiveOperatorNewBlocks() { return gNewLive; }

bool FailOperatorNew(int64_t n) {
    const bool failed = gNewFailed;
    gNewCountdown = n;
    gNewFailed = false;
    return failed;
}

void PluginHost::SetUp() {
    host_ = std::make_unique<cvx::Host>(options);
    std::string error;
    ASSERT_TRUE(host_->Load(ZIPCVX_PLUGIN_PATH, &error)) << error;
    ASSERT_TRUE(host_->Start(&error)) << error;
}

void PluginHost::TearDown() {
    if (host_) {
        host_->Stop();
        EXPECT_EQ(host_->LeakReport(), "");
        host_.reset();
    }
    if (!tempDir_.empty()) std::filesystem::remove_all(tempDir_);
}

void PluginHost::Run(const std::string& chunk) {
    std::string error;
    EXPECT_TRUE(host_->RunString(chunk, &error)) << error;
}

std::string PluginHost::RunError(const std::string& chunk) {
    std::string error;
    EXPECT_FALSE(host_->RunString(chunk, &error)) << "the chunk did not raise:\n" << chunk;
    // Only the message's first line: the rest is the traceback.
    return error.substr(0, error.find('\n'));
}

const std::string& PluginHost::TempDir() {
    if (tempDir_.empty()) {
        char pattern[] = "/tmp/zipcvx-test-XXXXXX";
        tempDir_ = mkdtemp(pattern);
    }
    return tempDir_;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int CountCalls(cvx::Host& host, const std::string& prefix) {
    int n = 0;
    for (const std::string& c : host.calls())
        n += c.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

int Shell(const std::string& command, std::string* output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    const int status = pclose(pipe);
    if (output != nullptr) *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zipcvx_test
