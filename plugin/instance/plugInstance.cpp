#include "plugInstance.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "VSTaux.h"
#include "memoryMerge.h"
#include "controllerBindings.h"
#include "settingsStore.h"
#include "sharedWord.h"
#include "waveRomFile.h"

namespace korvo {

CplugInstance::CplugInstance(int sampleRate, InstanceEnvironment environment) : env_(std::move(environment)) {
  store_ = env_.settingsStore ? env_.settingsStore : std::shared_ptr<SettingsStore>(createSystemSettingsStore());
  defaults_ = env_.useSystemDefaults ? systemSettingsDefaults() : env_.defaults;
  readSettings(*store_, defaults_, settings_);
  const std::vector<std::uint8_t> rom = loadWaveRom();
  const std::vector<std::uint8_t> bank = loadBackup();
  engine_ = std::make_unique<CplugMaster>(sampleRate, EngineData{rom, bank});
  memoryAtLoad_.resize(static_cast<std::size_t>(Ckv_soundMan::BankSize()));
  engine_->soundMan().SaveBank(memoryAtLoad_.data());
  for (int word = 0; word < kParamWordCount; ++word)
    reported_[static_cast<std::size_t>(word)].store(static_cast<std::int16_t>(paramValue(word)),
                                                    std::memory_order_relaxed);
  readControllerBindings(settings_.midiControllers, params(), engine_->midiLearn());
  engine_->setProgramChangeSelects(settings_.programChange == 0 ? env_.programChangeDefault
                                                                : settings_.programChange == 2);
}

CplugInstance::~CplugInstance() {
  if (!env_.saveOnDestroy) return;
  if (backupNeedsWriting(backupStatus_, programMemoryChanged()))
    writeMergedBackup(engine_->soundMan(), memoryAtLoad_, dataFolder(), settings_.path_user, backupStatus_,
                      std::time(nullptr));
  settings_.midiControllers = controllerBindingsText(engine_->midiLearn());
  writeSettings(*store_, defaults_, settings_);
}

bool CplugInstance::learnController(int id) {
  const auto binding = bindingFor(params(), id);
  if (!binding) return false;
  engine_->midiLearn().arm(*binding);
  return true;
}

int CplugInstance::learningParam() const {
  const auto armed = engine_->midiLearn().armed();
  return armed ? armed->word : -1;
}

std::vector<CplugInstance::ControllerParam> CplugInstance::controllerBindings() const {
  std::vector<ControllerParam> list;
  for (int c = 0; c < MidiLearn::kControllers; ++c)
    if (const auto b = engine_->midiLearn().binding(c)) list.push_back({c, b->word});
  return list;
}

void CplugInstance::setProgramChangeSelects(bool on) {
  settings_.programChange = on ? 2 : 1;
  engine_->setProgramChangeSelects(on);
}

TplugSettings CplugInstance::settingsFor(const InstanceEnvironment& environment) {
  const std::shared_ptr<SettingsStore> store = environment.settingsStore
                                                   ? environment.settingsStore
                                                   : std::shared_ptr<SettingsStore>(createSystemSettingsStore());
  TplugSettings settings;
  readSettings(*store, environment.useSystemDefaults ? systemSettingsDefaults() : environment.defaults, settings);
  return settings;
}

std::string CplugInstance::dataFolder() const {
  return env_.dataFolderOverride.empty() ? settings_.path_data : env_.dataFolderOverride;
}

std::string CplugInstance::backupPath() const { return korvo::backupPath(dataFolder()); }

// A user's own ROM image in the data folder wins; the built-in one only fills in for a missing
// file, or one that cannot be read or would leave every sound silent (see checkWaveRomImage).
std::vector<std::uint8_t> CplugInstance::loadWaveRom() {
  waveRomPath_ = joinPath(dataFolder(), kWaveRomName);
  std::vector<std::uint8_t> image;
  if (readWaveRomFile(waveRomPath_, image, &waveRomCheck_)) {
    waveRomSource_ = WaveRomSource::DataFolder;
  } else if (!env_.builtInWaveRom.empty()) {
    image.assign(env_.builtInWaveRom.begin(), env_.builtInWaveRom.end());
    waveRomSource_ = WaveRomSource::BuiltIn;
  } else {
    waveRomSource_ = WaveRomSource::None;
  }
  return image;
}

std::string CplugInstance::waveRomDescription() const {
  if (waveRomSource_ == WaveRomSource::DataFolder) {
    if (waveRomCheck_.missing == 0) return "Wave ROM: " + waveRomPath_;
    return "Wave ROM: " + waveRomPath_ + " (" + std::to_string(waveRomCheck_.missing) + " of " +
           std::to_string(kWaveRomFileBytes) + " bytes missing, played as silence)";
  }
  std::error_code ec;
  const std::string why = !std::filesystem::exists(waveRomPath_, ec)
                              ? "no " + std::string(kWaveRomName) + " in " + dataFolder()
                              : std::string(kWaveRomName) + " in " + dataFolder() + ": " + describe(waveRomCheck_);
  return std::string("Wave ROM: ") + (waveRomSource_ == WaveRomSource::BuiltIn ? "built-in" : "none, silent") + " (" +
         why + ")";
}

std::vector<std::uint8_t> CplugInstance::loadBackup() {
  std::vector<std::uint8_t> image;
  backupStatus_ = readBackup(dataFolder(), image);
  if (backupStatus_ == BankImageStatus::Ok) return image;
  if (env_.builtInBank.size() >= static_cast<std::size_t>(Ckv_soundMan::BankSize()) &&
      checkLibraryImage(env_.builtInBank.data(), env_.builtInBank.size()) == BankImageStatus::Ok) {
    builtInBankLoaded_ = true;
    return {env_.builtInBank.begin(), env_.builtInBank.begin() + Ckv_soundMan::BankSize()};
  }
  return {};
}

bool CplugInstance::programMemoryChanged() const {
  std::vector<std::uint8_t> now(static_cast<std::size_t>(Ckv_soundMan::BankSize()));
  engine_->soundMan().SaveBank(now.data());
  return now != memoryAtLoad_;
}

void CplugInstance::setSampleRate(double rate) {
  if (!std::isfinite(rate) || rate < 1.0 || rate > 1.0e6) return;
  engine_->setSampleRate(roundCurrent(rate));
}

bool CplugInstance::setState(const void* data, std::size_t size) { return engine_->setChunk(data, size); }

int CplugInstance::paramValue(int id) const {
  if (id < 0 || id >= kParamWordCount) return 0;
  return loadSharedWord(engine_->soundMan().EditRecord()->words[id]);
}

bool CplugInstance::setParamValue(int id, int value) {
  const ParamInfo* p = params().find(id);
  if (!p) return false;
  const auto word = static_cast<std::int16_t>(std::clamp(value, p->min, p->max));
  // The word first: a drain between the two stores then reports the host's own new value back at
  // worst (harmless), never an old value that would undo the host's change.
  storeSharedWord(engine_->soundMan().EditRecord()->words[id], word);
  reported_[static_cast<std::size_t>(id)].store(word, std::memory_order_relaxed);
  return true;
}

}  // namespace korvo
