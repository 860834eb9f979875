// korvo-factory-sheet: the listening sheet of the factory sounds. Every sound is played through
// the engine as a single note (note 60, velocity 100) and as an eight-note chord at velocity 127, and
// the table gives what an ear would check first: levels, brightness, pitch and envelope.
//
//   korvo-factory-sheet [--program N] [--wav PREFIX] [--states K] DATA_FOLDER SOURCE.txt...
//
// DATA_FOLDER holds wavrom.bin. --wav writes PREFIXnnn-note.wav and PREFIXnnn-chord.wav
// (32-bit float stereo) for a closer look in an editor. --states sets how many warmed-up states
// (besides a fresh engine) the worst-case column tries, 48 unless given.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "VSTaux.h"
#include "commandLine.h"
#include "factoryBank.h"
#include "factoryRender.h"
#include "wavFile.h"

using namespace korvo;
using namespace korvo::factory;

namespace {

constexpr int kRate = 44100;
const std::vector<int> kChord = {48, 52, 55, 60, 64, 67, 72, 76};

void writeWav(const std::string& path, const Take& t) {
  std::string error;
  tools::writeStereoWav(path, t.left, t.right, t.rate, tools::WavFormat::Float32, error);
}

std::string category(const std::string& origin) {
  const auto dot = origin.find('.');
  return dot == std::string::npos ? origin : origin.substr(0, dot);
}

}  // namespace

int main(int argc, char** argv) {
  int only = -1;
  int warmStates = 48;
  std::string wavPrefix;
  std::vector<std::string> args;
  std::string error;
  tools::CommandLine line;
  line.option({"--program"}, [&](const std::string& v) { only = std::atoi(v.c_str()); })
      .option({"--states"}, [&](const std::string& v) { warmStates = std::max(0, std::atoi(v.c_str())); })
      .option({"--wav"}, wavPrefix)
      .operands(args)
      .lenient();
  if (!line.parse(argc, argv, error) || args.size() < 2)
    return tools::usageError(
        "korvo-factory-sheet", error,
        "usage: korvo-factory-sheet [--program N] [--wav PREFIX] [--states K] DATA_FOLDER SOURCE.txt...\n");
  std::vector<SourceText> sources;
  if (!readSources(std::vector<std::string>(args.begin() + 1, args.end()), sources, error)) {
    std::fprintf(stderr, "korvo-factory-sheet: %s\n", error.c_str());
    return 1;
  }
  FactoryBank bank;
  std::vector<std::string> errors;
  if (!assembleFactory(sources, bank, errors))
    for (const std::string& e : errors) std::fprintf(stderr, "korvo-factory-sheet: note: %s\n", e.c_str());
  std::printf(
      "Chord: notes 48 52 55 60 64 67 72 76 at velocity 127 (all eight voices). Note: 60 at velocity 100.\n"
      "Pushed chord: the same with wheel, breath and channel pressure at 127. All held until the\n"
      "envelopes settle (0.6..4 s), then released. RMS, centroid and f0: the\n"
      "note's loudest 200 ms. Attack: to 90 %% of the loudest 10 ms; sustain: level at the release\n"
      "against that; tail: after the release until 1 %% of it. Worst chord: the loudest of three\n"
      "eight-note chords at velocity 127 from a fresh engine and from %d states left by earlier\n"
      "playing, of the sound itself and (even states) of other sounds of the bank (chord and state given).\n\n",
      warmStates);
  std::printf(
      "| no. | name | group | chord peak dBFS | worst chord peak dBFS | pushed chord peak dBFS | note peak dBFS | note "
      "RMS dBFS | centroid Hz | f0 Hz | attack s | sustain | tail s |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  std::vector<ProgramRecord> library;
  for (int n = 0; n < kProgramCount; ++n)
    if (bank.placed[static_cast<std::size_t>(n)]) library.push_back(bank.programs[static_cast<std::size_t>(n)]);
  for (int n = 0; n < kProgramCount; ++n) {
    if ((only >= 0 && n != only) || !bank.placed[static_cast<std::size_t>(n)]) continue;
    const ProgramRecord& r = bank.programs[static_cast<std::size_t>(n)];
    const double hold = std::clamp(settleSeconds(r) + 0.3, 0.6, 4.0);
    const double tail = std::clamp(releaseSeconds(r) + 0.3, 0.4, 3.0);
    Performance note{{60}, {}, 100, static_cast<int>(hold * kRate), static_cast<int>(tail * kRate), {}};
    Performance chord{kChord, {}, 127, note.holdFrames, note.tailFrames, {}};
    // The same chord with the wheel, breath and channel pressure all the way up.
    Performance pushed{kChord, {{1, 127}, {2, 127}, {128, 127}}, 127, note.holdFrames, note.tailFrames, {}};
    const Take single = playSound(r, note, kRate, args[0]);
    const Take full = playSound(r, chord, kRate, args[0]);
    const Levels ln = measureLevels(single), lc = measureLevels(full);
    const Levels lp = measureLevels(playSound(r, pushed, kRate, args[0]));
    const WorstPeak worst = worstChordPeak(r, kRate, args[0], warmStates, library);
    const Shape shape = measureShape(single);
    // Brightness and pitch where the note is loudest.
    const double centroid = spectralCentroid(single, ln.loudFrame, kRate / 5);
    const double f0 = fundamental(single, ln.loudFrame, kRate / 5);
    std::printf(
        "| %03d | %s | %s | %.1f | %.2f (chord %d, state %d) | %.1f | %.1f | %.1f | %.0f | %.1f | %.2f | %.2f | %.2f "
        "|%s\n",
        n, displayName(r).c_str(), category(bank.origin[static_cast<std::size_t>(n)]).c_str(), toDecibels(lc.peak),
        toDecibels(worst.peak), worst.chord, worst.state, toDecibels(lp.peak), toDecibels(ln.peak),
        toDecibels(ln.loudRms), centroid, f0, shape.attackSeconds, shape.sustainRatio, shape.tailSeconds,
        (ln.finite && lc.finite && lp.finite && worst.finite) ? "" : " NOT FINITE");
    if (!wavPrefix.empty()) {
      writeWav(wavPrefix + zeroPad(n, 3) + "-note.wav", single);
      writeWav(wavPrefix + zeroPad(n, 3) + "-chord.wav", full);
    }
  }
  return 0;
}
