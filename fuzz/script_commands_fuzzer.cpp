// Archive bytes through the script commands in both reading modes: every
// entry looked up, examined and extracted (wrong password, callback). Commands
// may fail with their codes; nothing may crash or stay allocated or open.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "host/host.h"

namespace {

cvx::Host* gHost;
std::string gArchive, gRun;  // this process's archive, and the script's call on it

const char kScript[] = R"LUA(script = function(path, out)
  for _, mode in ipairs({1005, 1004}) do
    if pcall(zip.OpenArchive, 1, path, mode) then
      local n = host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES)
      for i = 0, math.min(n, 64) - 1 do
        local ok, name = pcall(zip.GetFileAtIndex, 1, i)
        if ok then pcall(zip.LocateFile, 1, name, {nocase = 1}) end
        pcall(zip.GetFileAttributes, 1, i)
        pcall(zip.GetFileComment, 1, i)
        pcall(zip.ExtractFile, 1, i, out)
        pcall(zip.ExtractFile, 1, i, out, {password = "pw", callback = function(t) end})
      end
      pcall(zip.GetFileAttributes, 1, n)
      pcall(zip.GetFileComment, 1)
      zip.CloseArchive(1, 1)
    end
  end
end)LUA";

void Require(bool ok, const std::string& what) {
    if (ok) return;
    fprintf(stderr, "%s\n", what.c_str());
    abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gHost = new cvx::Host(cvx::HostOptions{});
    gArchive = "/tmp/zipcvx-fuzz-script-" + std::to_string(getpid()) + ".zip";
    gRun = "script([[" + gArchive + "]], [[" + gArchive + ".out]])";
    std::string error;
    Require(gHost->Load(ZIPCVX_PLUGIN_PATH, &error) && gHost->Start(&error) &&
                gHost->RunString(kScript, &error),
            error);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fopen(gArchive.c_str(), "wb");
    if (file == nullptr) return 0;
    fwrite(data, 1, size, file);
    fclose(file);
    std::string error;
    Require(gHost->RunString(gRun, &error), "the script raised: " + error);
    Require(gHost->LeakReport().empty(), "left after an input:\n" + gHost->LeakReport());
    return 0;
}
