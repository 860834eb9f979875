// korvo-patch: list, convert and check SysEx dumps, libraries, backup files and sound texts.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "VSTaux.h"
#include "patchIo.h"
#include "soundSummary.h"
#include "soundText.h"

using namespace korvo;
using namespace korvo::patch;

namespace {

constexpr const char* kUsage =
    "usage: korvo-patch list FILE [--first N | --program N]\n"
    "       korvo-patch check FILE [--first N | --program N]\n"
    "       korvo-patch convert IN OUT [--first N | --program N] [--channel N]\n"
    "\n"
    "Files: .syx (a single or bank dump, or several dumps back to back), .kvl or .dat (a library\n"
    "or the backup file: 128 programs), .txt (sounds as text, one SOUND ... END block each).\n"
    "Program numbers N are 0..127. A dump read in is numbered from N (--first or --program, else 0);\n"
    "from a library or text, --program N takes one sound and --first N the forty from N. A .syx\n"
    "output is a single dump for one sound, a bank dump for forty; a .kvl output that exists is\n"
    "updated in place (only the given programs change), otherwise it starts as 128 INIT sounds.\n";

int fail(const std::string& file, const std::string& what) {
  std::fprintf(stderr, "korvo-patch: %s: %s\n", file.c_str(), what.c_str());
  return 1;
}

void printNotes(const std::string& file, const std::vector<std::string>& notes) {
  for (const std::string& n : notes) std::fprintf(stderr, "korvo-patch: %s: note: %s\n", file.c_str(), n.c_str());
}

bool parseNumber(const char* text, int lo, int hi, int& value) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) return false;
  value = static_cast<int>(v);
  return true;
}

int list(const std::string& path, const Selection& sel) {
  SoundFile file;
  std::string error;
  if (!loadSoundFile(path, file, error)) return fail(path, error);
  printNotes(path, file.notes);
  std::vector<Sound> sounds;
  if (!selectSounds(file, sel, sounds, error)) return fail(path, error);
  for (const Sound& s : sounds) {
    const int number = s.number;
    std::string name = displayName(s.record);
    name.resize(15, ' ');
    std::printf("%s  %s  %s\n", zeroPad(number, 3).c_str(), name.c_str(), soundSummary(s.record).c_str());
  }
  return 0;
}

int check(const std::string& path, const Selection& sel) {
  SoundFile file;
  std::string error;
  if (!loadSoundFile(path, file, error)) return fail(path, error);
  printNotes(path, file.notes);
  // Read as list and convert read it: what they would refuse, check refuses too.
  std::vector<Sound> chosen;
  if (!selectSounds(file, sel, chosen, error)) return fail(path, error);
  std::size_t warnings = 0;
  for (std::size_t i = 0; i < file.sounds.size(); ++i) {
    const Sound& s = file.sounds[i];
    for (const std::string& w : outOfRangeParams(s.record)) {
      std::fprintf(stderr, "korvo-patch: %s: note: %s (%s): %s\n", path.c_str(), s.origin.c_str(),
                   displayName(s.record).c_str(), w.c_str());
      ++warnings;
    }
  }
  std::printf("%s: ok: %s with %zu sound%s, read as %s", path.c_str(), kindName(file.kind), file.sounds.size(),
              file.sounds.size() == 1 ? "" : "s", programsText(chosen).c_str());
  if (!file.notes.empty() || warnings)
    std::printf(", %zu note%s", file.notes.size() + warnings, file.notes.size() + warnings == 1 ? "" : "s");
  std::printf("\n");
  return 0;
}

int convert(const std::string& in, const std::string& out, const Selection& sel, int channel) {
  SoundFile file;
  std::string error;
  if (!loadSoundFile(in, file, error)) return fail(in, error);
  printNotes(in, file.notes);
  std::vector<Sound> sounds;
  if (!selectSounds(file, sel, sounds, error)) return fail(in, error);
  WriteResult result;
  if (!writeSoundFile(out, sounds, channel, result, error)) return fail(out, error + "; nothing written");
  if (!result.notCarried.empty())
    printNotes(out, {"a SysEx dump does not carry these fields as they were: " + result.notCarried});
  std::printf("%s: %s\n", out.c_str(), result.summary.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  Selection sel;
  int channel = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--first" || a == "--program" || a == "--channel") {
      int v = 0;
      if (i + 1 >= argc || !parseNumber(argv[i + 1], 0, 127, v)) {
        std::fprintf(stderr, "korvo-patch: %s needs a number 0..127\n", a.c_str());
        return 2;
      }
      ++i;
      if (a == "--first")
        sel.first = v;
      else if (a == "--program")
        sel.program = v;
      else
        channel = v;
    } else if (a == "-h" || a == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "korvo-patch: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    } else {
      args.push_back(a);
    }
  }
  if (sel.first && sel.program) {
    std::fprintf(stderr, "korvo-patch: give --first or --program, not both\n");
    return 2;
  }
  if (args.size() == 2 && args[0] == "list") return list(args[1], sel);
  if (args.size() == 2 && args[0] == "check") return check(args[1], sel);
  if (args.size() == 3 && args[0] == "convert") return convert(args[1], args[2], sel, channel);
  std::fputs(kUsage, stderr);
  return 2;
}
