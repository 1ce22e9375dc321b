#include "support/linked_plugin.h"

#include "plugin/plugin_state.h"

namespace zipcvx_test {

void LinkedPlugin::SetUp() {
    PluginHost::SetUp();
    gPlugin.services = host().services();
}

void LinkedPlugin::TearDown() {
    gPlugin.services = nullptr;
    gPlugin.registry = nullptr;
    gPlugin.guards = nullptr;
    PluginHost::TearDown();
}

}  // namespace zipcvx_test
