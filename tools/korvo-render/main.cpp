// korvo-render: renders a standard MIDI file through the Korvo engine to a WAV file.
// With no arguments it renders the bundled demo song with the factory sounds.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <vector>

#include "VSTaux.h"
#include "commandLine.h"
#include "midiFile.h"
#include "patchIo.h"
#include "renderSession.h"
#include "wavFile.h"

#ifndef KORVO_BUILD_DATA_DIR
#define KORVO_BUILD_DATA_DIR ""
#endif

using namespace korvo;
using namespace korvo::render;

namespace {

const char* kUsage =
    "usage: korvo-render [options] [MIDI-FILE]\n"
    "Renders a standard MIDI file (type 0 or 1) through the Korvo engine to a WAV file. Each MIDI\n"
    "channel gets its own instance of the instrument. Without a MIDI file the bundled demo song is\n"
    "rendered with the factory sounds.\n"
    "\n"
    "  -o, --out FILE        output WAV (default: the MIDI file's name with .wav, demo.wav for the demo)\n"
    "  --rate HZ             sample rate (default 44100)\n"
    "  --format F            16, 24 or float (default 24)\n"
    "  --gain DB             gain applied to the mix (default 0)\n"
    "  --tail S              seconds rendered after the last event (default 3)\n"
    "  --syx FILE            sound from a single or bank SysEx dump (--program N picks from a bank)\n"
    "  --library FILE        sounds from a .kvl library: channels follow their program changes,\n"
    "                        or all play --program N\n"
    "  --text FILE           sound from the text form of korvo-patch (--program N picks one)\n"
    "  --program N           program number 0..127\n"
    "  --data FOLDER         folder holding wavrom.bin (and the demo files)\n"
    "  --realtime-factor     report how many times faster than real time the render ran\n"
    "  -q, --quiet           no progress report\n";

struct Options {
  std::string midi, out, syx, library, text, data;
  int rate = 44100;
  std::string format = "24";
  double gainDb = 0.0, tail = 3.0;
  int program = -1;
  bool quiet = false;
  bool realtimeFactor = false;
};

int fail(const std::string& message) {
  std::fprintf(stderr, "korvo-render: %s\n", message.c_str());
  return 1;
}

bool parseArgs(int argc, char** argv, Options& o, std::string& error) {
  tools::CommandLine line;
  line.help({"-h", "--help"})
      .flag({"-q", "--quiet"}, o.quiet)
      .flag({"--realtime-factor"}, o.realtimeFactor)
      .option({"-o", "--out"}, o.out)
      .option({"--rate"}, o.rate)
      .option({"--format"}, o.format)
      .option({"--gain"}, o.gainDb)
      .option({"--tail"}, o.tail)
      .option({"--syx"}, o.syx)
      .option({"--library"}, o.library)
      .option({"--text"}, o.text)
      .option({"--program"}, o.program)
      .option({"--data"}, o.data)
      .operand(o.midi, "more than one MIDI file given");
  if (!line.parse(argc, argv, error)) return false;
  if (o.rate < 8000 || o.rate > 384000) {
    error = "--rate must be 8000..384000";
    return false;
  }
  if (o.format != "16" && o.format != "24" && o.format != "float") {
    error = "--format must be 16, 24 or float";
    return false;
  }
  if (!(o.tail >= 0 && o.tail <= 600)) {
    error = "--tail must be 0..600 seconds";
    return false;
  }
  if (o.program < -1 || o.program > 127) {
    error = "--program must be 0..127";
    return false;
  }
  if (!std::isfinite(o.gainDb) || std::fabs(o.gainDb) > 60) {
    error = "--gain must be -60..60 dB";
    return false;
  }
  int sources = !o.syx.empty() + !o.library.empty() + !o.text.empty();
  if (sources > 1) {
    error = "give only one of --syx, --library and --text";
    return false;
  }
  return true;
}

// A given data folder must hold the wave ROM: without it the render would be silent.
bool checkDataFolder(const Options& o, std::string& error) {
  if (o.data.empty()) return true;
  std::error_code ec;
  if (!std::filesystem::is_directory(o.data, ec))
    error = "the data folder '" + o.data + "' does not exist";
  else if (!std::filesystem::is_regular_file(std::filesystem::path(o.data) / "wavrom.bin", ec))
    error = "the data folder '" + o.data + "' holds no wavrom.bin";
  return error.empty();
}

// The output names a file, not a folder.
bool checkOutputName(const std::string& out, std::string& error) {
  std::error_code ec;
  if (!out.empty() && (out.back() == '/' || std::filesystem::is_directory(out, ec)))
    error = "'" + out + "' is a folder: -o needs a file name";
  return error.empty();
}

// The data folder: given, else the build's generated data, else "data" beside the program.
std::string findDataFolder(const Options& o, const char* argv0) {
  if (!o.data.empty()) return o.data;
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::path(KORVO_BUILD_DATA_DIR) / "wavrom.bin", ec))
    return KORVO_BUILD_DATA_DIR;
  return (std::filesystem::path(argv0).parent_path() / "data").string();
}

bool planSounds(const Options& o, const std::string& defaultLibrary, SoundPlan& plan, std::string& error) {
  std::string path = !o.syx.empty() ? o.syx : !o.library.empty() ? o.library : o.text;
  const bool library = !o.library.empty() || path.empty();
  if (path.empty()) {
    path = defaultLibrary;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      std::fprintf(stderr, "korvo-render: warning: no factory library at '%s': every channel plays the INIT sound\n",
                   path.c_str());
      plan.fixed = makeInitRecord();
      return true;
    }
  }
  patch::SoundFile file;
  const bool loaded = patch::loadSoundFile(path, file, error);
  // --library wants a library: a file of another kind is named as such, whatever else is wrong
  // with it (a .kvl that is not one says what is wrong with it instead).
  std::error_code ec;
  if (!o.library.empty() &&
      (loaded ? file.kind != patch::FileKind::Bank
              : std::filesystem::exists(path, ec) && patch::kindFromName(path) != patch::FileKind::Bank)) {
    error = "'" + path + "' is not a library (a .kvl file of 128 programs)";
    return false;
  }
  if (!loaded) {
    error = "'" + path + "': " + error;
    return false;
  }
  patch::Selection sel;
  if (o.program >= 0) sel.program = o.program;
  std::vector<patch::Sound> chosen;
  if (!patch::selectSounds(file, sel, chosen, error)) return false;
  if (chosen.empty()) {
    error = "'" + path + "' holds no sound" + (o.program >= 0 ? " at program " + std::to_string(o.program) : "");
    return false;
  }
  if (library && o.program < 0) {
    plan.bank.assign(128, makeInitRecord());
    for (const auto& s : chosen)
      if (s.number >= 0 && s.number < 128) plan.bank[static_cast<std::size_t>(s.number)] = s.record;
  } else {
    plan.fixed = chosen.front().record;
  }
  return true;
}

tools::WavFormat wavFormat(const std::string& format) {
  return format == "16"   ? tools::WavFormat::Pcm16
         : format == "24" ? tools::WavFormat::Pcm24
                          : tools::WavFormat::Float32;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!parseArgs(argc, argv, o, error)) return tools::usageError("korvo-render", error, kUsage);
  const std::string data = findDataFolder(o, argv[0]);
  const bool demo = o.midi.empty();
  if (demo) o.midi = joinPath(data, "demo.mid");
  if (o.out.empty()) o.out = demo ? "demo.wav" : std::filesystem::path(o.midi).replace_extension(".wav").string();
  if (!checkDataFolder(o, error) || !checkOutputName(o.out, error)) return fail(error);

  std::vector<TimedMessage> messages;
  if (!tools::readMidiFile(o.midi, o.rate, messages, error)) return fail(error);
  SoundPlan plan;
  if (!planSounds(o, joinPath(data, "factory.kvl"), plan, error)) return fail(error);

  RenderOptions ro;
  ro.sampleRate = o.rate;
  ro.tailSeconds = o.tail;
  ro.dataFolder = data;
  if (!o.quiet) {
    // On a terminal one line counts up; in a log a line every quarter.
    const bool terminal = isatty(fileno(stderr)) != 0;
    int lastQuarter = -1;
    ro.progress = [&, terminal, lastQuarter](std::int64_t done, std::int64_t total) mutable {
      const int percent = static_cast<int>(100 * done / std::max<std::int64_t>(total, 1));
      if (!terminal && percent / 25 == lastQuarter) return;
      lastQuarter = percent / 25;
      std::fprintf(stderr, "%skorvo-render: %3d%% (%.1f of %.1f s)%s", terminal ? "\r" : "", percent,
                   static_cast<double>(done) / o.rate, static_cast<double>(total) / o.rate,
                   terminal && done != total ? "" : "\n");
    };
  }
  RenderResult result;
  const auto started = std::chrono::steady_clock::now();
  try {
    result = renderPerformance(messages, plan, ro);
  } catch (const std::exception& e) {
    return fail(std::string("render failed: ") + e.what());
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!result.waveRomLoaded)
    std::fprintf(stderr, "korvo-render: warning: wave ROM '%s' not found or unreadable: the oscillators are silent\n",
                 result.waveRomPath.c_str());
  const float gain = static_cast<float>(std::pow(10.0, o.gainDb / 20.0));
  if (!tools::writeStereoWav(o.out, result.left, result.right, o.rate, wavFormat(o.format), error, gain))
    return fail(error);
  const float peak = result.peak * gain;
  std::printf("korvo-render: wrote '%s' (%.1f s stereo, %d MIDI channel%s, peak %.1f dBFS)\n", o.out.c_str(),
              static_cast<double>(result.left.size()) / o.rate, result.channelsUsed,
              result.channelsUsed == 1 ? "" : "s", peak > 0 ? 20.0 * std::log10(peak) : -200.0);
  if (o.realtimeFactor) {
    const double audio = static_cast<double>(result.left.size()) / o.rate;
    std::printf("korvo-render: realtime factor %.1f (%.1f s of audio in %.2f s, %d engine%s)\n",
                seconds > 0 ? audio / seconds : 0.0, audio, seconds, result.channelsUsed,
                result.channelsUsed == 1 ? "" : "s");
  }
  if (peak > 1.0f && o.format != "float")
    std::fprintf(stderr, "korvo-render: warning: the mix clips (peak above full scale); lower it with --gain\n");
  return 0;
}
