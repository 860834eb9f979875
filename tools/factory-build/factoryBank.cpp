#include "factoryBank.h"

#include <cstring>
#include <map>

#include "VSTaux.h"
#include "progBank.h"
#include "soundMan.h"
#include "soundText.h"

namespace korvo::factory {

std::string hardwareName(const ProgramRecord& r) {
  const std::string name = recordName(r);
  std::string out;
  for (char c : name) {
    // A name of exactly six characters goes out as it stands, blanks included.
    if (c == ' ' && name.size() != 6) continue;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (out.size() == 6) break;
  }
  return out;
}

bool assembleFactory(const std::vector<SourceText>& sources, FactoryBank& bank, std::vector<std::string>& errors) {
  errors.clear();
  FactoryBank out;
  auto& placed = out.placed;
  for (const SourceText& src : sources) {
    std::vector<TextSound> sounds;
    std::string error;
    if (!parseSoundText(src.text, sounds, error)) {
      errors.push_back(src.label + ": " + error);
      continue;
    }
    for (const TextSound& s : sounds) {
      const std::string where = src.label + ":" + std::to_string(s.line);
      if (s.position < 0) {
        errors.push_back(where + ": SOUND has no program number");
        continue;
      }
      const auto n = static_cast<std::size_t>(s.position);
      if (placed[n]) {
        errors.push_back(where + ": program " + zeroPad(s.position, 3) + " is already taken by " + out.origin[n]);
        continue;
      }
      placed[n] = true;
      out.programs[n] = s.record;
      out.origin[n] = where;
      for (const std::string& w : outOfRangeParams(s.record)) errors.push_back(where + ": " + w);
      if (hardwareName(s.record).empty()) errors.push_back(where + ": the sound has no name");
    }
  }
  std::map<std::string, int> names;
  for (int n = 0; n < kProgramCount; ++n) {
    const auto i = static_cast<std::size_t>(n);
    if (!placed[i]) {
      errors.push_back("program " + zeroPad(n, 3) + " has no sound");
      continue;
    }
    const std::string hw = hardwareName(out.programs[i]);
    const auto [it, fresh] = names.emplace(hw, n);
    if (!fresh && !hw.empty())
      errors.push_back(out.origin[i] + ": the hardware name " + hw + " is already used by program " +
                       zeroPad(it->second, 3));
  }
  bank = out;
  return errors.empty();
}

std::vector<std::uint8_t> bankImage(const FactoryBank& bank) {
  ProgramBank image{};
  image.version = kBankVersion;
  for (std::size_t n = 0; n < bank.programs.size(); ++n) image.programs[n] = bank.programs[n];
  std::vector<std::uint8_t> bytes(sizeof image);
  std::memcpy(bytes.data(), &image, sizeof image);
  return bytes;
}

bool readSources(const std::vector<std::string>& paths, std::vector<SourceText>& out, std::string& error) {
  std::vector<SourceText> texts;
  for (const std::string& path : paths) {
    std::vector<std::uint8_t> bytes;
    if (readWholeFile(path, bytes, 4u * 1024u * 1024u) == 0) {
      error = path + ": cannot be read (missing, empty or too large)";
      return false;
    }
    std::string label = path;
    if (const auto slash = label.find_last_of("/\\"); slash != std::string::npos) label = label.substr(slash + 1);
    texts.push_back({label, std::string(bytes.begin(), bytes.end())});
  }
  out = std::move(texts);
  return true;
}

}  // namespace korvo::factory
