#include "renderSession.h"

#include <algorithm>
#include <cmath>

#include "hostEvents.h"
#include "plugInstance.h"
#include "settingsStore.h"
#include "vstEventBlock.h"

namespace korvo::render {

namespace {

// Settings that live only for the render: nothing is read from or written to the user's store.
class MemorySettingsStore : public SettingsStore {
 public:
  bool open() override { return true; }
  std::optional<std::string> readString(const std::string&) override { return std::nullopt; }
  std::optional<std::uint32_t> readInteger(const std::string&) override { return std::nullopt; }
  bool writeString(const std::string&, const std::string&) override { return true; }
  bool writeInteger(const std::string&, std::uint32_t) override { return true; }
  bool commit() override { return true; }
};

// Each channel's instance gets its block's messages as the VST 2 plug-in would: a host's event
// list, turned into the engine's form by the plug-in's own conversion.
struct Channel {
  std::unique_ptr<CplugInstance> engine;
  tools::VstEventBlock block;
  std::vector<MidiEvent> events;
};

void loadSound(Channel& ch, const SoundPlan& plan, int program) {
  const ProgramRecord* record = nullptr;
  if (plan.fixed)
    record = &*plan.fixed;
  else if (!plan.bank.empty())
    record = &plan.bank[static_cast<std::size_t>(std::clamp(program, 0, static_cast<int>(plan.bank.size()) - 1))];
  if (record) ch.engine->engine().soundMan().LoadEdit(record);
}

}  // namespace

RenderResult renderPerformance(const std::vector<TimedMessage>& messages, const SoundPlan& sounds,
                               const RenderOptions& options) {
  RenderResult result;
  std::array<bool, 16> used{};
  for (const auto& m : messages)
    if (!m.bytes.empty() && m.bytes[0] >= 0x80 && m.bytes[0] < 0xF0) used[m.bytes[0] & 0x0F] = true;

  std::array<Channel, 16> channels;
  InstanceEnvironment env;
  env.settingsStore = std::make_shared<MemorySettingsStore>();
  env.useSystemDefaults = false;
  env.dataFolderOverride = options.dataFolder;
  env.saveOnDestroy = false;
  for (int c = 0; c < 16; ++c) {
    if (!used[static_cast<std::size_t>(c)]) continue;
    Channel& ch = channels[static_cast<std::size_t>(c)];
    ch.engine = std::make_unique<CplugInstance>(options.sampleRate, env);
    loadSound(ch, sounds, 0);
    result.waveRomLoaded = ch.engine->waveRomSource() == CplugInstance::WaveRomSource::DataFolder;
    result.waveRomPath = ch.engine->waveRomPath();
    ++result.channelsUsed;
  }

  const std::int64_t last = messages.empty() ? 0 : messages.back().frame;
  const std::int64_t total = last + static_cast<std::int64_t>(std::llround(options.tailSeconds * options.sampleRate));
  if (!options.sink) {
    result.left.reserve(static_cast<std::size_t>(total));
    result.right.reserve(static_cast<std::size_t>(total));
  }
  std::vector<float> blockLeft(static_cast<std::size_t>(std::max(options.blockSize, 1)));
  std::vector<float> blockRight(blockLeft.size());

  std::size_t next = 0;
  std::int64_t lastReport = 0;
  for (std::int64_t pos = 0; pos < total;) {
    std::int64_t end = std::min<std::int64_t>(pos + options.blockSize, total);
    // A program change takes effect between blocks: the block ends where it stands.
    for (std::size_t i = next; i < messages.size() && messages[i].frame < end; ++i) {
      if (!messages[i].bytes.empty() && (messages[i].bytes[0] & 0xF0) == 0xC0 && messages[i].frame > pos) {
        end = messages[i].frame;
        break;
      }
    }
    for (auto& ch : channels) ch.block.clear();
    while (next < messages.size() && messages[next].frame < end) {
      const TimedMessage& m = messages[next++];
      if (m.bytes.empty() || m.bytes[0] < 0x80 || m.bytes[0] >= 0xF0) continue;
      Channel& ch = channels[m.bytes[0] & 0x0F];
      if ((m.bytes[0] & 0xF0) == 0xC0) {
        if (!sounds.fixed) loadSound(ch, sounds, m.bytes.size() > 1 ? m.bytes[1] : 0);
        continue;
      }
      ch.block.add(m, static_cast<vst::VstInt32>(m.frame - pos));
    }
    const int frames = static_cast<int>(end - pos);
    std::fill_n(blockLeft.begin(), frames, 0.0f);
    std::fill_n(blockRight.begin(), frames, 0.0f);
    for (auto& ch : channels) {
      if (!ch.engine) continue;
      if (!ch.block.empty()) {
        ch.events.resize(ch.block.size());
        ch.engine->processEvents({ch.events.data(), fromHostEvents(ch.block.events(), ch.events)});
      }
      // Each engine adds its voices to the mix.
      ch.engine->render(false, blockLeft.data(), frames, blockRight.data());
    }
    for (int i = 0; i < frames; ++i)
      result.peak = std::max({result.peak, std::fabs(blockLeft[static_cast<std::size_t>(i)]),
                              std::fabs(blockRight[static_cast<std::size_t>(i)])});
    if (options.sink) {
      if (!options.sink(blockLeft.data(), blockRight.data(), frames)) {
        result.stopped = true;
        break;
      }
    } else {
      result.left.insert(result.left.end(), blockLeft.begin(), blockLeft.begin() + frames);
      result.right.insert(result.right.end(), blockRight.begin(), blockRight.begin() + frames);
    }
    result.frames = end;
    pos = end;
    if (options.progress && (pos - lastReport >= options.sampleRate * 2 || pos == total)) {
      options.progress(pos, total);
      lastReport = pos;
    }
  }
  return result;
}

}  // namespace korvo::render
