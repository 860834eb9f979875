// Plays a sound through the engine, the way a host would, and measures what comes out: levels,
// brightness, envelope and pitch. The factory tests and the listening sheet use it; since nobody
// listens to 128 sounds after every change, the numbers stand in for the ear.
#pragma once

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "progRecord.h"

namespace korvo::factory {

struct Take {
  int rate = 0;
  int releaseFrame = 0;  // where the notes were let go
  std::vector<float> left, right;
};

// Notes played and let go before a take and not recorded. The oscillators run freely between
// notes, so what a session played before decides the phases a chord starts from, and with them
// how its voices add up.
struct Phrase {
  const ProgramRecord* sound = nullptr;  // another sound to play it with; null: the take's own
  std::vector<int> notes;
  int holdFrames = 0;
  int restFrames = 0;  // after the release, before what follows
};

struct Performance {
  std::vector<int> notes;                        // played together at frame 0
  std::vector<std::pair<int, int>> controllers;  // (index, value) set before the notes; 128 is pressure
  int velocity = 127;
  int holdFrames = 0;          // then every note is released
  int tailFrames = 0;          // rendered after the release
  std::vector<Phrase> warmUp;  // played first, at the same velocity, and not recorded
};

// One engine per take on the wave ROM of `dataFolder`; no settings or backup are read and
// nothing is written.
Take playSound(const ProgramRecord& sound, const Performance& how, int rate, const std::string& dataFolder);

// How long the sound takes to reach its sustain (the slowest of its four envelopes through T1..T3)
// and to die away after the release (ENV4's T4, plus the second release), in seconds.
double settleSeconds(const ProgramRecord& sound);
// The longest attack (T1) of the four envelopes, in seconds.
double attackSeconds(const ProgramRecord& sound);
double releaseSeconds(const ProgramRecord& sound);

// The loudest an eight-voice chord at velocity 127 gets, over several chords and over the fresh
// state and `warmStates` states left behind by earlier playing (seeded, so reproducible): the
// sound itself, and in every second state also sounds picked from `library` when it is given.
// Held through the envelopes' attacks.
struct WorstPeak {
  double peak = 0;
  int chord = 0;  // index into worstCaseChords()
  int state = 0;  // 0 is a fresh engine, k > 0 the warm-up of seed k
  bool finite = true;
};
const std::vector<std::vector<int>>& worstCaseChords();
std::vector<Phrase> seededWarmUp(int seed, int rate, const std::vector<ProgramRecord>& library = {});
WorstPeak worstChordPeak(const ProgramRecord& sound, int rate, const std::string& dataFolder, int warmStates,
                         const std::vector<ProgramRecord>& library = {});

struct Levels {
  bool finite = true;
  double peak = 0;     // largest |sample| of either channel
  double rms = 0;      // over the whole take, both channels
  double heldRms = 0;  // over the last 200 ms before the release
  double loudRms = 0;  // of the loudest 200 ms window (hop 50 ms), both channels
  int loudFrame = 0;   // where that window starts
};
Levels measureLevels(const Take& take);

// Brightness: the spectral centroid in Hz of the mono sum over `frames` samples from `from`
// (Hann window, magnitude spectrum); 0 for silence.
double spectralCentroid(const Take& take, int from, int frames);

// The fundamental in Hz of the mono sum over a window (normalised autocorrelation between 25 Hz
// and 4 kHz); 0 when nothing periodic is found.
double fundamental(const Take& take, int from, int frames);

struct Shape {
  double attackSeconds = 0;  // time for the 10 ms RMS to first reach 90 % of its maximum
  double sustainRatio = 0;   // RMS of the last 10 ms before the release / the maximum
  double tailSeconds = 0;    // after the release, time until the RMS stays below 1/100 of the maximum
};
Shape measureShape(const Take& take);

inline double toDecibels(double v) { return v > 1e-9 ? 20.0 * std::log10(v) : -180.0; }

}  // namespace korvo::factory
