// The standalone's parts that need no device: its stored choices, the Audio and MIDI dialog, and
// the real-time bridge from MIDI to the instance.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "audioDialog.h"
#include "editorWindow.h"
#include "headlessHost.h"
#include "simpleTimer.h"
#include "standalone.h"
#include "builtInData.h"
#include "plugInstance.h"
#include "settingsStore.h"
#include "standaloneSettings.h"
#include "synthProcess.h"

namespace korvo {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  fs::path dir = fs::temp_directory_path() / ("korvo-standalone-unit-" + std::to_string(getpid()));
  TempDir() { fs::create_directories(dir); }
  ~TempDir() { fs::remove_all(dir); }
};

TEST(StandaloneSettings, AreStoredBesideTheInstanceSettingsAndBadValuesKeepTheDefaults) {
  TempDir t;
  FileSettingsStore store((t.dir / "settings.conf").string());
  ASSERT_TRUE(store.open());
  store.writeString("path_data", "/somewhere");
  ASSERT_TRUE(store.commit());
  StandaloneSettings s;
  s.audio = {"hw:1", 96000, 128};
  s.midiIn = "Keys";
  ASSERT_TRUE(writeStandaloneSettings(store, s));
  FileSettingsStore again((t.dir / "settings.conf").string());
  EXPECT_EQ(readStandaloneSettings(again), s);
  ASSERT_TRUE(again.open());
  EXPECT_EQ(again.readString("path_data").value_or(""), "/somewhere") << "the instance's values stay";

  again.writeInteger("standalone_sample_rate", 5);
  again.writeInteger("standalone_block_size", 100000);
  ASSERT_TRUE(again.commit());
  const StandaloneSettings bad = readStandaloneSettings(again);
  EXPECT_EQ(bad.audio.rate, 0);
  EXPECT_EQ(bad.audio.block, 0);
  EXPECT_EQ(bad.audio.device, "hw:1");
}

TEST(AudioDialog, ShowsTheChoiceIncludingDevicesAbsentNowAndAnswersWhatIsSelected) {
  StandaloneSettings current;
  current.audio = {"jack", 22050, 512};  // no server now; a rate from the command line
  current.midiIn = "Keys";
  AudioDialog d({"default", "hw:0"}, {"Through:0", "Keys:0"}, current);
  EXPECT_EQ(d.deviceList->items.front(), "(automatic)");
  EXPECT_EQ(d.deviceList->items[static_cast<std::size_t>(d.deviceList->itemIndex())], "jack");
  EXPECT_EQ(d.rateList->items[static_cast<std::size_t>(d.rateList->itemIndex())], "22050");
  EXPECT_EQ(d.choice(), current) << "OK without a change keeps every choice";

  d.deviceList->setItemIndex(0);
  d.rateList->setItemIndex(2);  // the first line is the device's own rate, then 44100, 48000
  d.blockList->setItemIndex(0);
  d.midiList->setItemIndex(1);
  const StandaloneSettings chosen = d.choice();
  EXPECT_EQ(chosen.audio.device, "");
  EXPECT_EQ(chosen.audio.rate, 48000);
  EXPECT_EQ(chosen.audio.block, 0);
  EXPECT_EQ(chosen.midiIn, "Through:0");

  int closes = 0;
  bool ok = false;
  d.onClose = [&](AudioDialog&, bool yes) {
    ++closes;
    ok = yes;
  };
  d.cancelButton->onClick(*d.cancelButton);
  d.okButton->onClick(*d.okButton);
  EXPECT_EQ(closes, 1);
  EXPECT_FALSE(ok);
}

TEST(SynthProcess, PlaysQueuedAndPortMessagesAndDropsAFloodWithoutBlocking) {
  InstanceEnvironment env = withBuiltInData();
  TempDir t;
  env.settingsStore = std::make_shared<FileSettingsStore>((t.dir / "settings.conf").string());
  env.useSystemDefaults = false;
  env.defaults = {t.dir.string(), t.dir.string(), t.dir.string()};
  env.saveOnDestroy = false;
  CplugInstance instance(48000, env);
  SynthProcess synth(instance);
  std::vector<float> l(256), r(256);
  synth.process(l.data(), r.data(), 256, {});
  EXPECT_EQ(*std::max_element(l.begin(), l.end()), 0.0f);

  ASSERT_TRUE(synth.queueMidi({0x90, 60, 100}));
  double energy = 0;
  for (int i = 0; i < 40; ++i) {
    synth.process(l.data(), r.data(), 256, {});
    for (float x : l) energy += static_cast<double>(x) * x;
  }
  EXPECT_GT(energy, 0.0) << "a queued note sounds";

  int taken = 0;
  while (synth.queueMidi({0x90, 64, 100}) && taken < 5000) ++taken;
  EXPECT_EQ(taken, 1024) << "the queue holds a bounded flood";
  const MidiEvent late{MidiEvent::Short, 0x80, 60, 0, 0, 9999};  // a frame past the block
  synth.process(l.data(), r.data(), 256, std::span<const MidiEvent>(&late, 1));
  EXPECT_TRUE(synth.queueMidi({0xB0, 123, 0})) << "a block takes what the queue held";
  EXPECT_EQ(synth.blocks(), 42);
}

class NoTimers : public TimerEventService {
 public:
  unsigned setEvent(unsigned, unsigned, std::function<void(unsigned)>) override { return ++id_; }
  void killEvent(unsigned) override {}

 private:
  unsigned id_ = 0;
};

TEST(AudioDialog, OpensFromTheOptionsMenuAndOkAppliesAndStoresTheChoice) {
  TempDir t;
  setenv("JACK_DEFAULT_SERVER", "korvo-unit-no-server", 1);
  auto store = std::make_shared<FileSettingsStore>((t.dir / "settings.conf").string());
  InstanceEnvironment env = withBuiltInData();
  env.settingsStore = store;
  env.useSystemDefaults = false;
  env.defaults = {t.dir.string(), t.dir.string(), t.dir.string()};
  env.saveOnDestroy = false;
  StandaloneSettings start;
  start.audio.device = "korvo-no-such-device";
  Standalone app(start, env);
  EXPECT_FALSE(app.audioOpen());
  EXPECT_TRUE(app.instance().programChangeSelects()) << "program change selects until the user chooses";
  EXPECT_EQ(app.audioStatus().rfind("Audio: none (ALSA device 'korvo-no-such-device'", 0), 0u) << app.audioStatus();

  NoTimers timers;
  EditorWindow window(nullptr, app.instance(), WindowHostFactory{}, &timers);
  window.show();
  std::vector<std::string> said;
  AudioDialogRunner runner(window.form(), app, *store, [&](const std::string& s) { said.push_back(s); });
  window.addOptionsCommand("Audio and MIDI...", [&] { runner.open(); });
  MenuItem* command = window.form().menuOptionsPopup.find("Audio and MIDI...");
  ASSERT_NE(command, nullptr) << "the Options menu offers the dialog";
  command->onClick(*command);
  auto& host = static_cast<HeadlessHost&>(window.host());
  ASSERT_EQ(host.modalCount(), 1u);
  auto* dialog = dynamic_cast<AudioDialog*>(host.topModal());
  ASSERT_NE(dialog, nullptr);
  if (const char* shot = std::getenv("KORVO_DIALOG_SHOT")) savePng(host.frame(), shot);

  dialog->rateList->setItemIndex(1);  // 44100
  host.click(dialog->okButton->toWindow({10, 10}));
  host.collectClosed();
  EXPECT_EQ(host.modalCount(), 0u);
  EXPECT_EQ(app.choice().audio.rate, 44100) << "applied at once";
  EXPECT_EQ(app.choice().audio.device, "korvo-no-such-device");
  EXPECT_EQ(readStandaloneSettings(*store).audio.rate, 44100) << "and stored";
  EXPECT_EQ(window.form().StatusLabel1->text, app.statusLine());
  EXPECT_FALSE(said.empty());
}

}  // namespace
}  // namespace korvo
