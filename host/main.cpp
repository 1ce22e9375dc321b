// cvxhost: runs Lua scripts against a zip.cvx plugin, as the host would.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/host.h"

namespace {

const char kUsage[] =
    "usage: cvxhost [options] SCRIPT [ARGS...]\n"
    "       cvxhost [options] --list\n"
    "\n"
    "Loads a zip.cvx plugin the way the host does and runs a Lua 5.4 script\n"
    "with the plugin's library (zip.*), its constants and the host table.\n"
    "\n"
    "options:\n"
    "  --plugin FILE        the plugin to load (default: zip.cvx beside cvxhost)\n"
    "  --host-version V.R   the host version to present (default 7.1)\n"
    "  --list               print the library's commands, help strings and constants\n"
    "  --check-leaks        fail when the plugin leaves allocations or files behind\n"
    "  --fixed-date         the host's current date is 01-Jan-2000 12:00:00\n"
    "  --help               this text\n";

std::string DefaultPlugin() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? "zip.cvx" : (self.parent_path() / "zip.cvx").string();
}

bool ParseVersion(const char* text, uint32_t* version, uint32_t* revision) {
    char tail = 0;
    *revision = 0;
    const int n = sscanf(text, "%u.%u%c", version, revision, &tail);
    return n == 1 || n == 2;
}

void PrintLibrary(cvx::Host& host) {
    const cvx::PluginEntries& e = host.entries();
    const char* name = e.GetBaseTable();
    const CommandRecord* commands = e.GetCommands();
    const HelpStringRecord* help = e.GetHelpStrings();
    const ConstantRecord* constants = e.GetConstants();
    printf("library %s\n\ncommands:\n", name);
    for (int i = 0; commands[i].name != nullptr; ++i) {
        printf("  %s.%-20s %s\n", name, commands[i].name, help[i].text);
    }
    printf("\nconstants:\n");
    for (const ConstantRecord* c = constants; c->name != nullptr; ++c) {
        printf("  %-24s %g\n", c->name, c->value);
    }
}

}  // namespace

int main(int argc, char** argv) {
    cvx::HostOptions options;
    std::string plugin = DefaultPlugin();
    bool list = false;
    bool checkLeaks = false;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && argv[i][1] == '-'; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            fputs(kUsage, stdout);
            return 0;
        } else if (option == "--plugin" && i + 1 < argc) {
            plugin = argv[++i];
        } else if (option == "--host-version" && i + 1 < argc) {
            if (!ParseVersion(argv[++i], &options.version, &options.revision)) {
                fprintf(stderr, "cvxhost: bad host version '%s' (expected V.R)\n", argv[i]);
                return 2;
            }
        } else if (option == "--list") {
            list = true;
        } else if (option == "--check-leaks") {
            checkLeaks = true;
        } else if (option == "--fixed-date") {
            options.fixedDate = true;
        } else {
            fprintf(stderr, "cvxhost: unknown option '%s'\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (!list && i >= argc) {
        fputs(kUsage, stderr);
        return 2;
    }

    cvx::Host host(options);
    std::string error;
    if (!host.Load(plugin, &error) || !host.Start(&error)) {
        fprintf(stderr, "cvxhost: %s\n", error.c_str());
        return 1;
    }
    int status = 0;
    if (list) {
        PrintLibrary(host);
    } else {
        const std::vector<std::string> args(argv + i + 1, argv + argc);
        if (!host.RunFile(argv[i], args, &error)) {
            fprintf(stderr, "%s\n", error.c_str());
            status = 1;
        }
    }
    fflush(stdout);
    host.Stop();
    if (checkLeaks) {
        const std::string report = host.LeakReport();
        if (!report.empty()) {
            fprintf(stderr, "cvxhost: the plugin left resources behind:\n%s", report.c_str());
            status = 1;
        }
    }
    return status;
}
