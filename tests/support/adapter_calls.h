// The adapter's entry points of the loaded plugin, looked up by name as the
// host looks them up, and a fixture with archives made for the adapter tests.
#ifndef ZIPCVX_TESTS_ADAPTER_CALLS_H
#define ZIPCVX_TESTS_ADAPTER_CALLS_H

#include <string>

#include "adapter/adapter_dir.h"
#include "adapter/adapter_file.h"
#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {

struct AdapterCalls {
    explicit AdapterCalls(const cvx::Host& h)
        : FOpen(h.Entry<FOpenFn>("FOpen")),
          FClose(h.Entry<FCloseFn>("FClose")),
          FRead(h.Entry<FReadFn>("FRead")),
          FGetC(h.Entry<FGetCFn>("FGetC")),
          FWrite(h.Entry<FWriteFn>("FWrite")),
          FPutC(h.Entry<FPutCFn>("FPutC")),
          FSeek(h.Entry<FSeekFn>("FSeek")),
          FFlush(h.Entry<FFlushFn>("FFlush")),
          FEof(h.Entry<FEofFn>("FEof")),
          Stat(h.Entry<StatFn>("Stat")),
          FStat(h.Entry<FStatFn>("FStat")),
          OpenDir(h.Entry<OpenDirFn>("OpenDir")),
          CloseDir(h.Entry<CloseDirFn>("CloseDir")),
          NextDirEntry(h.Entry<NextDirEntryFn>("NextDirEntry")) {}
    FOpenFn FOpen;
    FCloseFn FClose;
    FReadFn FRead;
    FGetCFn FGetC;
    FWriteFn FWrite;
    FPutCFn FPutC;
    FSeekFn FSeek;
    FFlushFn FFlush;
    FEofFn FEof;
    StatFn Stat;
    FStatFn FStat;
    OpenDirFn OpenDir;
    CloseDirFn CloseDir;
    NextDirEntryFn NextDirEntry;
};

// The plugin's own record behind a handle: both sides compile its layout
// from the same header.
inline const AdapterFile& FileRecord(void* handle) {
    return *static_cast<const AdapterFile*>(handle);
}

// The host's current date in the adapter tests, for directories without
// an entry of their own.
inline constexpr DateGroup kHostNow{30, 45, 16, 24, 11, 2031};

class AdapterTest : public PluginHost {
  protected:
    void SetUp() override {
        options.fixedDate = true;
        options.date = kHostNow;
        PluginHost::SetUp();
    }
    AdapterCalls& A() {
        if (!calls_ || callsFor_ != &host()) {
            calls_ = std::make_unique<AdapterCalls>(host());
            callsFor_ = &host();
        }
        return *calls_;
    }
    std::string Path(const std::string& name) { return TempDir() + "/" + name; }
    // Reads the whole of an open file in blocks of `block` bytes.
    std::string ReadAll(void* file, int32_t block = 4096) {
        std::string all;
        std::string buffer(static_cast<size_t>(block), '\0');
        int32_t n;
        while ((n = A().FRead(file, buffer.data(), block)) > 0)
            all.append(buffer, 0, n);
        return all;
    }

  private:
    std::unique_ptr<AdapterCalls> calls_;
    const cvx::Host* callsFor_ = nullptr;
};

}  // namespace zipcvx_test

#endif
