// The shipped editor window on the headless host, over a plug-in whose engine keeps its settings
// and files in a temporary folder. The display timer never fires by itself.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "goldenImage.h"
#include "editorWindow.h"
#include "goldenFiles.h"
#include "headlessHost.h"
#include "plugInstance.h"
#include "uPlug.h"
#include "settingsStore.h"
#include "soundMan.h"
#include "uSelSingleForm.h"

namespace korvo::test {

class SilentTimers : public TimerEventService {
 public:
  unsigned setEvent(unsigned, unsigned, std::function<void(unsigned)>) override { return ++id_; }
  void killEvent(unsigned) override {}

 private:
  unsigned id_ = 0;
};

inline vst::VstIntPtr KORVO_VSTCALL rigHost(vst::AEffect*, vst::VstInt32 opcode, vst::VstInt32, vst::VstIntPtr, void*,
                                            float) {
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

struct EditorRig {
  std::filesystem::path dir;
  std::unique_ptr<CplugInstance> instance;
  SilentTimers timers;
  std::unique_ptr<EditorWindow> window;

  // With `withRom` the instance reads the build's generated wave ROM; without, it finds none.
  explicit EditorRig(bool withRom = true) {
    dir = std::filesystem::temp_directory_path() /
          ("korvo-editor-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    InstanceEnvironment env = environment("settings.conf");
    if (withRom) env.dataFolderOverride = std::string(KORVO_TEST_BINARY_DIR) + "/data";
    instance = std::make_unique<CplugInstance>(44100, env);
    window = std::make_unique<EditorWindow>(nullptr, *instance, WindowHostFactory{}, &timers);
    window->show();
  }
  ~EditorRig() {
    window.reset();
    instance.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  // An instance kept in the rig's folder: its settings in `settingsFile` there, the folder as every
  // default folder, nothing saved when it goes. A second plug-in built on another settings file
  // shares the folder but not the rig's settings.
  InstanceEnvironment environment(const std::string& settingsFile) const {
    InstanceEnvironment env;
    env.settingsStore = std::make_shared<FileSettingsStore>(path(settingsFile));
    env.useSystemDefaults = false;
    env.defaults = {dir.string(), dir.string(), dir.string()};
    env.saveOnDestroy = false;
    return env;
  }

  TplugEditForm& form() { return window->form(); }
  HeadlessHost& host() { return static_cast<HeadlessHost&>(window->host()); }
  CplugMaster& engine() { return instance->engine(); }
  Ckv_soundMan& sounds() { return engine().soundMan(); }
  ProgramRecord& program(int n) { return *sounds().ProgMan().RecordAt(Ckv_progMan::SlotOf(n)); }
  std::string path(const std::string& name) const { return (dir / name).string(); }

  Point centre(const Control& c) const { return c.toWindow({c.width() / 2, c.height() / 2}); }
  Point offset(const Control& c, int dx, int dy) const {
    const Point p = centre(c);
    return {p.x + dx, p.y + dy};
  }
  void click(const Control& c) { host().click(centre(c)); }
  // Text of LCD row `row` as shown.
  std::string lcdRow(int row) const {
    std::string s;
    const TsegLCD2& lcd = *window->form().lcd;
    for (int c = 0; c < lcd.widthChar(); ++c) {
      const char ch = static_cast<char>(lcd.cell(c, row).ch);
      s += ch ? ch : ' ';
    }
    return s;
  }
  // The program chooser that is open, or null.
  TSelSingleForm* chooser() { return dynamic_cast<TSelSingleForm*>(host().topModal()); }
  // Picks line n in the open chooser and presses Ok.
  void choose(int n) {
    TSelSingleForm* f = chooser();
    ASSERT_NE(f, nullptr);
    f->SingleList->setItemIndex(n);
    click(*f->okButton);
  }
  void render(int frames = 512) {
    std::vector<float> l(static_cast<std::size_t>(frames)), r(l.size());
    engine().render(true, l.data(), frames, r.data());
  }
  void golden(const Image& image, const char* name) {
    std::string why;
    EXPECT_TRUE(matchesGolden(image, goldenPath(name), &why)) << name << ": " << why;
  }
};

}  // namespace korvo::test
