#include "tests/post_processors/lv2/lv2_test_host.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>

#include <cmath>
#include <cstring>

#include "gtest/gtest.h"

namespace vorn {
namespace test {

namespace {

// A LilvNode freed when it goes out of scope.
struct NodeDeleter {
  void operator()(LilvNode* node) const { lilv_node_free(node); }
};
using Node = std::unique_ptr<LilvNode, NodeDeleter>;

}  // namespace

Lv2TestInstance::Lv2TestInstance(const LilvPlugin* plugin,
                                 LilvInstance* instance, uint32_t max_frames)
    : instance_(instance), max_frames_(max_frames) {
  const uint32_t ports = lilv_plugin_get_num_ports(plugin);
  controls_.assign(ports, 0.0f);
  std::vector<float> defaults(ports);
  lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
  for (uint32_t i = 0; i < ports; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    const std::string symbol =
        lilv_node_as_string(lilv_port_get_symbol(plugin, port));
    const LilvNodes* classes = lilv_port_get_classes(plugin, port);
    bool audio = false;
    bool input = false;
    LILV_FOREACH(nodes, it, classes) {
      const std::string type = lilv_node_as_uri(lilv_nodes_get(classes, it));
      if (type == LV2_CORE__AudioPort) audio = true;
      if (type == LV2_CORE__InputPort) input = true;
    }
    if (audio) {
      (input ? input_ports_ : output_ports_).push_back(i);
      continue;
    }
    control_index_[symbol] = i;
    controls_[i] = std::isnan(defaults[i]) ? 0.0f : defaults[i];
    lilv_instance_connect_port(instance_, i, &controls_[i]);
  }
  inputs_.assign(input_ports_.size(), std::vector<float>(max_frames, 0.0f));
  outputs_.assign(output_ports_.size(), std::vector<float>(max_frames, 0.0f));
  for (size_t c = 0; c < input_ports_.size(); ++c) {
    lilv_instance_connect_port(instance_, input_ports_[c], inputs_[c].data());
  }
  for (size_t c = 0; c < output_ports_.size(); ++c) {
    lilv_instance_connect_port(instance_, output_ports_[c], outputs_[c].data());
  }
  lilv_instance_activate(instance_);
}

Lv2TestInstance::~Lv2TestInstance() {
  lilv_instance_deactivate(instance_);
  lilv_instance_free(instance_);
}

void Lv2TestInstance::SetControl(const std::string& symbol, float value) {
  auto it = control_index_.find(symbol);
  ASSERT_NE(control_index_.end(), it) << "no control port " << symbol;
  controls_[it->second] = value;
}

float Lv2TestInstance::Control(const std::string& symbol) const {
  auto it = control_index_.find(symbol);
  EXPECT_NE(control_index_.end(), it) << "no control port " << symbol;
  return it == control_index_.end() ? NAN : controls_[it->second];
}

std::vector<float> Lv2TestInstance::Run(const std::vector<float>& interleaved,
                                        uint32_t frames, bool in_place) {
  const size_t channels = inputs_.size();
  EXPECT_LE(frames, max_frames_);
  EXPECT_EQ(frames * channels, interleaved.size());
  for (size_t c = 0; c < channels; ++c) {
    std::vector<float>& in = in_place ? outputs_[c] : inputs_[c];
    for (uint32_t j = 0; j < frames; ++j) in[j] = interleaved[j * channels + c];
    if (in_place) {
      lilv_instance_connect_port(instance_, input_ports_[c],
                                 outputs_[c].data());
    } else {
      lilv_instance_connect_port(instance_, input_ports_[c], inputs_[c].data());
    }
  }
  RunAsIs(frames);
  std::vector<float> out(frames * channels);
  for (size_t c = 0; c < channels; ++c) {
    for (uint32_t j = 0; j < frames; ++j)
      out[j * channels + c] = outputs_[c][j];
  }
  return out;
}

void Lv2TestInstance::RunAsIs(uint32_t frames) {
  lilv_instance_run(instance_, frames);
}

void Lv2TestInstance::Activate() {
  lilv_instance_deactivate(instance_);
  lilv_instance_activate(instance_);
}

Lv2TestHost::Lv2TestHost(const std::string& bundle_dir)
    : world_(lilv_world_new()), map_{this, &Lv2TestHost::Map} {
  std::string path = bundle_dir;
  if (path.empty() || path.back() != '/') path += '/';
  Node bundle(lilv_new_file_uri(world_, nullptr, path.c_str()));
  lilv_world_load_bundle(world_, bundle.get());
}

Lv2TestHost::~Lv2TestHost() { lilv_world_free(world_); }

std::vector<std::string> Lv2TestHost::PluginUris() const {
  std::vector<std::string> uris;
  const LilvPlugins* plugins = lilv_world_get_all_plugins(world_);
  LILV_FOREACH(plugins, it, plugins) {
    uris.push_back(
        lilv_node_as_uri(lilv_plugin_get_uri(lilv_plugins_get(plugins, it))));
  }
  return uris;
}

LV2_URID Lv2TestHost::Map(LV2_URID_Map_Handle handle, const char* uri) {
  auto* host = static_cast<Lv2TestHost*>(handle);
  auto it = host->urids_.find(uri);
  if (it != host->urids_.end()) return it->second;
  const LV2_URID id = static_cast<LV2_URID>(host->urids_.size() + 1);
  host->urids_[uri] = id;
  return id;
}

std::unique_ptr<Lv2TestInstance> Lv2TestHost::Instantiate(
    const std::string& uri, double rate, uint32_t max_frames,
    bool offer_max_block) {
  Node node(lilv_new_uri(world_, uri.c_str()));
  const LilvPlugin* plugin =
      lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node.get());
  if (plugin == nullptr) return nullptr;
  max_block_ = static_cast<int32_t>(max_frames);
  const LV2_Options_Option options[] = {
      {LV2_OPTIONS_INSTANCE, 0, Map(this, LV2_BUF_SIZE__maxBlockLength),
       sizeof(int32_t), Map(this, LV2_ATOM__Int), &max_block_},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr},
  };
  const LV2_Feature map_feature = {LV2_URID__map, &map_};
  const LV2_Feature options_feature = {
      LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
  const LV2_Feature* with_block[] = {&map_feature, &options_feature, nullptr};
  const LV2_Feature* none[] = {nullptr};
  LilvInstance* instance = lilv_plugin_instantiate(
      plugin, rate, offer_max_block ? with_block : none);
  if (instance == nullptr) return nullptr;
  return std::make_unique<Lv2TestInstance>(plugin, instance, max_frames);
}

}  // namespace test
}  // namespace vorn
