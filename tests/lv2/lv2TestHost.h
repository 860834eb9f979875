// What the LV2 tests share: the bundle of this build tree loaded into a lilv world, and a URID
// map as a host keeps one.
#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace korvo::lv2test {

inline const char* const kUri = "urn:korvo:synth";

inline std::string bundlePath() { return std::string(std::getenv("KORVO_BINARY_DIR")) + "/lv2/Korvo.lv2/"; }

class UridMap {
 public:
  LV2_URID map(const char* uri) {
    auto [it, added] = ids_.try_emplace(uri, static_cast<LV2_URID>(ids_.size() + 1));
    if (added) uris_.push_back(uri);
    return it->second;
  }
  const char* unmap(LV2_URID id) const { return id >= 1 && id <= uris_.size() ? uris_[id - 1].c_str() : nullptr; }
  LV2_URID_Map mapFeatureData{
      this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<UridMap*>(h)->map(uri); }};
  LV2_URID_Unmap unmapFeatureData{
      this, [](LV2_URID_Unmap_Handle h, LV2_URID id) { return static_cast<const UridMap*>(h)->unmap(id); }};

 private:
  std::map<std::string, LV2_URID> ids_;
  std::vector<std::string> uris_;
};

struct World {
  World() : world(lilv_world_new()) {
    LilvNode* bundle = lilv_new_file_uri(world, nullptr, bundlePath().c_str());
    lilv_world_load_bundle(world, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(world, kUri);
    plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
    lilv_node_free(uri);
  }
  ~World() { lilv_world_free(world); }
  LilvWorld* world;
  const LilvPlugin* plugin = nullptr;
};

inline World& world() {
  static World w;
  return w;
}

}  // namespace korvo::lv2test
