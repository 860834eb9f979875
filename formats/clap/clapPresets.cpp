#include "clapPresets.h"

#include <charconv>
#include <cstring>
#include <memory>

#include "VSTaux.h"
#include "progBank.h"
#include "progRecord.h"
#include "soundMan.h"

namespace korvo {

using namespace clap;

namespace {

constexpr char kProviderId[] = "org.korvo.synth.presets";
const clap_preset_discovery_provider_descriptor kProviderDescriptor{CLAP_VERSION, kProviderId, "Korvo sounds", "Korvo"};

// The factory is a static record: it keeps what the entry gave it here.
InstanceEnvironment& factoryEnvironment() {
  static InstanceEnvironment environment;
  return environment;
}

// One provider: the indexer it reports to and the places it declared.
struct Provider {
  clap_preset_discovery_provider record{};
  const clap_preset_discovery_indexer* indexer = nullptr;
  std::string userFolder, memoryFile;

  static Provider& of(const clap_preset_discovery_provider* p) { return *static_cast<Provider*>(p->provider_data); }

  bool init() {
    const TplugSettings settings = CplugInstance::settingsFor(factoryEnvironment());
    const std::string data =
        factoryEnvironment().dataFolderOverride.empty() ? settings.path_data : factoryEnvironment().dataFolderOverride;
    userFolder = settings.path_user;
    memoryFile = data.empty() ? std::string() : backupPath(data);
    const clap_preset_discovery_filetype library{"Korvo library", "128 Korvo sounds", "kvl"};
    if (!indexer->declare_filetype || !indexer->declare_location) return false;
    indexer->declare_filetype(indexer, &library);
    if (!factoryEnvironment().builtInBank.empty()) {
      const clap_preset_discovery_location factory{CLAP_PRESET_DISCOVERY_IS_FACTORY_CONTENT, "Korvo factory sounds",
                                                   CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN, nullptr};
      indexer->declare_location(indexer, &factory);
    }
    if (!userFolder.empty()) {
      const clap_preset_discovery_location libraries{CLAP_PRESET_DISCOVERY_IS_USER_CONTENT, "Korvo libraries",
                                                     CLAP_PRESET_DISCOVERY_LOCATION_FILE, userFolder.c_str()};
      indexer->declare_location(indexer, &libraries);
    }
    if (!memoryFile.empty()) {
      const clap_preset_discovery_location memory{CLAP_PRESET_DISCOVERY_IS_USER_CONTENT, "Korvo program memory",
                                                  CLAP_PRESET_DISCOVERY_LOCATION_FILE, memoryFile.c_str()};
      indexer->declare_location(indexer, &memory);
    }
    return true;
  }

  static bool metadata(std::uint32_t kind, const char* location, const clap_preset_discovery_metadata_receiver& r) {
    const PresetBank bank = readPresetBank(kind, location, factoryEnvironment());
    if (!bank.error.empty()) {
      if (r.on_error) r.on_error(&r, 0, bank.error.c_str());
      return false;
    }
    const clap_universal_plugin_id korvo{"clap", "org.korvo.synth"};
    for (int n = 0; n < kProgramCount; ++n) {
      ProgramRecord record;
      const std::vector<std::uint8_t> bytes = presetRecord(bank, n);
      std::memcpy(&record, bytes.data(), sizeof record);
      std::string name = displayName(record);
      if (name.find_first_not_of(' ') == std::string::npos) name = "Program " + std::to_string(n);
      const std::string key = std::to_string(n);
      if (!r.begin_preset || !r.begin_preset(&r, name.c_str(), key.c_str())) return true;
      if (r.add_plugin_id) r.add_plugin_id(&r, &korvo);
      if (r.add_feature) {
        r.add_feature(&r, "instrument");
        r.add_feature(&r, "synthesizer");
      }
    }
    return true;
  }
};

const clap_preset_discovery_provider* createProvider(const clap_preset_discovery_factory*,
                                                     const clap_preset_discovery_indexer* indexer, const char* id) {
  if (!indexer || !id || std::strcmp(id, kProviderId) != 0) return nullptr;
  auto* p = new (std::nothrow) Provider;
  if (!p) return nullptr;
  p->indexer = indexer;
  p->record.desc = &kProviderDescriptor;
  p->record.provider_data = p;
  p->record.init = [](const clap_preset_discovery_provider* self) { return Provider::of(self).init(); };
  p->record.destroy = [](const clap_preset_discovery_provider* self) { delete &Provider::of(self); };
  p->record.get_metadata = [](const clap_preset_discovery_provider*, std::uint32_t kind, const char* location,
                              const clap_preset_discovery_metadata_receiver* receiver) {
    return receiver && Provider::metadata(kind, location, *receiver);
  };
  p->record.get_extension = [](const clap_preset_discovery_provider*, const char*) -> const void* { return nullptr; };
  return &p->record;
}

const clap_preset_discovery_factory kFactory{[](const clap_preset_discovery_factory*) -> std::uint32_t { return 1; },
                                             [](const clap_preset_discovery_factory*, std::uint32_t index) {
                                               return index == 0 ? &kProviderDescriptor : nullptr;
                                             },
                                             createProvider};

}  // namespace

PresetBank readPresetBank(std::uint32_t locationKind, const char* location, const InstanceEnvironment& environment) {
  PresetBank bank;
  if (locationKind == CLAP_PRESET_DISCOVERY_LOCATION_PLUGIN) {
    bank.image.assign(environment.builtInBank.begin(), environment.builtInBank.end());
  } else if (locationKind == CLAP_PRESET_DISCOVERY_LOCATION_FILE && location && *location) {
    if (readWholeFile(location, bank.image) == 0 && bank.image.empty()) {
      bank.error = std::string("cannot read ") + location;
      return bank;
    }
  } else {
    bank.error = "no such preset location";
    return bank;
  }
  const BankImageStatus status = checkLibraryImage(bank.image.data(), bank.image.size());
  if (status != BankImageStatus::Ok) {
    bank.error = (location ? std::string(location) : std::string("the built-in bank")) + ": " + describe(status);
    bank.image.clear();
  }
  return bank;
}

std::optional<int> presetNumber(const char* loadKey) {
  if (!loadKey) return std::nullopt;
  const std::size_t length = std::strlen(loadKey);
  int n = -1;
  const auto [end, ec] = std::from_chars(loadKey, loadKey + length, n);
  if (ec != std::errc{} || end != loadKey + length || n < 0 || n >= kProgramCount) return std::nullopt;
  return n;
}

std::vector<std::uint8_t> presetRecord(const PresetBank& bank, int n) {
  const auto at = bank.image.begin() + kBankHeaderSize + static_cast<std::ptrdiff_t>(n) * kProgramRecordSize;
  return {at, at + kProgramRecordSize};
}

const clap_preset_discovery_factory* clapPresetFactory(InstanceEnvironment environment) {
  factoryEnvironment() = std::move(environment);
  return &kFactory;
}

}  // namespace korvo
