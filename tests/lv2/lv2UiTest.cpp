// The bundle's X11 UI as a host embeds it, on a virtual display: in the host's window at the
// editor's size, drawing the headless editor's picture, writing what changes inside Korvo to the
// host's control ports, and a note instead of the editor for a host without instance-access.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <map>
#include <vector>

#include "lv2TestHost.h"
#include "xvfbDisplay.h"  // last: Xlib's macros

namespace korvo {
namespace {

using namespace korvo::lv2test;
using namespace korvo::xtest;

// The virtual display, held open for the whole program: Xvfb resets when its last client leaves
// and refuses connections while it does.
bool displayReady() {
  static Display* held = [] {
    Display* d = nullptr;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Xvfb::get().ok() && !d && std::chrono::steady_clock::now() < end) {
      d = XOpenDisplay(Xvfb::get().display().c_str());
      if (!d) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return d;
  }();
  return held != nullptr;
}

Image grab(Display* d, Window w) {
  XWindowAttributes a{};
  return XGetWindowAttributes(d, w, &a) ? grabArea(d, w, 0, 0, a.width, a.height) : Image{};
}

// A host with the plug-in instantiated through lilv and its UI binary opened as suil would.
struct UiHost {
  UridMap urids;
  LV2_Feature map{LV2_URID__map, &urids.mapFeatureData};
  LilvInstance* plugin = nullptr;
  void* binary = nullptr;
  const LV2UI_Descriptor* descriptor = nullptr;
  LV2UI_Handle ui = nullptr;
  LV2UI_Widget widget = nullptr;
  std::map<std::uint32_t, float> written;  // port -> last value the UI wrote
  std::vector<std::pair<int, int>> sizes;  // what the UI asked for through ui:resize
  HostWindow top;

  UiHost() {
    const LV2_Feature* features[] = {&map, nullptr};
    plugin = lilv_plugin_instantiate(world().plugin, 48000, features);
    binary = dlopen((bundlePath() + "Korvo.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!binary) return;
    using Entry = const LV2UI_Descriptor* (*)(uint32_t);
    if (auto entry = reinterpret_cast<Entry>(dlsym(binary, "lv2ui_descriptor"))) descriptor = entry(0);
  }
  ~UiHost() {
    if (ui) descriptor->cleanup(ui);
    if (plugin) lilv_instance_free(plugin);
    if (binary) dlclose(binary);
  }
  bool open(bool instanceAccess) {
    if (!plugin || !descriptor || !top.d) return false;
    LV2UI_Resize resize{this, [](LV2UI_Feature_Handle h, int w, int hgt) {
                          static_cast<UiHost*>(h)->sizes.emplace_back(w, hgt);
                          return 0;
                        }};
    LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(top.w)};
    LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    LV2_Feature access{LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(plugin)};
    std::vector<const LV2_Feature*> features = {&map, &parent, &resizeFeature};
    if (instanceAccess) features.push_back(&access);
    features.push_back(nullptr);
    const LV2UI_Write_Function write = [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t protocol,
                                          const void* value) {
      if (protocol == 0 && size == sizeof(float))
        static_cast<UiHost*>(c)->written[port] = *static_cast<const float*>(value);
    };
    ui = descriptor->instantiate(descriptor, kUri, bundlePath().c_str(), write, this, &widget, features.data());
    return ui != nullptr;
  }
  void idle() {
    const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
    ASSERT_NE(idle, nullptr);
    EXPECT_EQ(idle->idle(ui), 0);
  }
  // Idles until `done` holds, at most ten seconds.
  template <class Fn>
  bool idleUntil(Fn done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      idle();
      XSync(top.d, False);
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  Window window() const { return static_cast<Window>(reinterpret_cast<std::uintptr_t>(widget)); }
};

// The plug-in's edit buffer record with one word changed (to 17, or 18 where it held 17), restored
// through its state interface; the value it got.
int restoreWithWord(LilvInstance* plugin, int word) {
  const auto* state =
      static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(plugin, LV2_STATE__interface));
  struct Record {
    std::vector<std::uint8_t> bytes;
    std::uint32_t type = 0;
  } record;
  // The record is the first property the plug-in stores.
  state->save(
      lilv_instance_get_handle(plugin),
      [](LV2_State_Handle h, std::uint32_t, const void* v, std::size_t n, std::uint32_t type, std::uint32_t) {
        auto* r = static_cast<Record*>(h);
        if (!r->bytes.empty()) return LV2_STATE_SUCCESS;
        r->bytes.assign(static_cast<const std::uint8_t*>(v), static_cast<const std::uint8_t*>(v) + n);
        r->type = type;
        return LV2_STATE_SUCCESS;
      },
      &record, 0, nullptr);
  if (record.bytes.size() != 544u) return -1;
  std::int16_t value = 0;
  std::memcpy(&value, &record.bytes[static_cast<std::size_t>(word) * 2], 2);
  value = value == 17 ? 18 : 17;
  std::memcpy(&record.bytes[static_cast<std::size_t>(word) * 2], &value, 2);
  const LV2_State_Status status = state->restore(
      lilv_instance_get_handle(plugin),
      [](LV2_State_Handle h, std::uint32_t, std::size_t* n, std::uint32_t* type, std::uint32_t* flags) -> const void* {
        auto* r = static_cast<Record*>(h);
        *n = r->bytes.size();
        *type = r->type;
        *flags = LV2_STATE_IS_POD;
        return r->bytes.data();
      },
      &record, 0, nullptr);
  return status == LV2_STATE_SUCCESS ? value : -1;
}

std::uint32_t portOf(const char* symbol) {
  LilvNode* s = lilv_new_string(world().world, symbol);
  const LilvPort* port = lilv_plugin_get_port_by_symbol(world().plugin, s);
  lilv_node_free(s);
  return port ? lilv_port_get_index(world().plugin, port) : 0;
}

TEST(Lv2Ui, ShowsTheEditorInTheHostsWindowAndWritesChangesToThePorts) {
  if (!Xvfb::get().ok()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(displayReady());
  ASSERT_NE(world().plugin, nullptr);
  // Both editors read their data from one folder, so their status lines agree.
  SettingsFolder folder("lv2-ui");
  UiHost host;
  ASSERT_TRUE(host.open(true));
  ASSERT_NE(host.window(), 0u);
  ASSERT_FALSE(host.sizes.empty());
  EXPECT_EQ(host.sizes.back(), std::make_pair(562, 346));

  // The editor is a child of the host's window and draws what the headless editor draws.
  ReferenceEditor reference;
  ASSERT_TRUE(reference.ok());
  Image shot;
  const bool same = host.idleUntil([&] {
    shot = grab(host.top.d, host.window());
    return differingPixels(shot, reference.frame()) == 0;
  });
  if (!same) {
    savePng(shot, (std::filesystem::temp_directory_path() / "korvo-lv2-ui-window.png").string());
    savePng(reference.frame(), (std::filesystem::temp_directory_path() / "korvo-lv2-ui-headless.png").string());
  }
  EXPECT_TRUE(same) << differingPixels(shot, reference.frame()) << " pixels differ";

  // What changes inside Korvo reaches the host's port, and nothing else.
  host.written.clear();
  const std::uint32_t filter = portOf("filt_freq");
  ASSERT_NE(filter, 0u);
  const int value = restoreWithWord(host.plugin, 168);  // the filter's frequency word
  ASSERT_GT(value, 0);
  ASSERT_TRUE(host.idleUntil([&] { return host.written.count(filter) > 0; }));
  EXPECT_EQ(host.written[filter], static_cast<float>(value));
  EXPECT_EQ(host.written.size(), 1u);
}

TEST(Lv2Ui, AHostWithoutInstanceAccessGetsANote) {
  if (!Xvfb::get().ok()) GTEST_SKIP() << "Xvfb is not installed";
  ASSERT_TRUE(displayReady());
  ASSERT_NE(world().plugin, nullptr);
  UiHost host;
  ASSERT_NE(host.plugin, nullptr);
  ASSERT_NE(host.descriptor, nullptr);
  ASSERT_NE(host.top.d, nullptr);
  ASSERT_TRUE(host.open(false));
  ASSERT_NE(host.window(), 0u);
  // The note is drawn: dark text on the white window.
  EXPECT_TRUE(host.idleUntil([&] {
    const Image shot = grab(host.top.d, host.window());
    for (const Pixel p : shot.pixels())
      if (p == 0) return true;
    return false;
  }));
  EXPECT_TRUE(host.written.empty());
}

}  // namespace
}  // namespace korvo
