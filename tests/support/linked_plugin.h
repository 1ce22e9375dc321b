// White-box tests: the plugin's own code, linked into the test binary,
// served by a started stand-in host (its Alloc, files and script VM, with
// their accounting and faults). The loaded zip.cvx keeps its own state; the
// linked copy only borrows the host's service table.
#ifndef ZIPCVX_TESTS_LINKED_PLUGIN_H
#define ZIPCVX_TESTS_LINKED_PLUGIN_H

#include "plugin/plugin_state.h"
#include "support/plugin_host.h"

namespace zipcvx_test {

class LinkedPlugin : public PluginHost {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        gPlugin.services = host().services();
    }
    void TearDown() override {
        gPlugin.services = nullptr;
        gPlugin.registry = nullptr;
        gPlugin.guards = nullptr;
        PluginHost::TearDown();
    }
    VmState* vm() { return reinterpret_cast<VmState*>(host().vm()); }
};

}  // namespace zipcvx_test

#endif
