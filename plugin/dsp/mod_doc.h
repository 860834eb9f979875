// Cdoc: the digital oscillator chip. Up to 8 voices of 3 oscillators that step through 8-bit
// tables of the wave ROM at the chip's own rate; per voice the oscillators are mixed and the
// chip-rate signal is brought to the host rate by a polynomial interpolator.
//
// Real-time: every operation but construction is free of allocation and locking.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korvo {

class Cdoc {
 public:
  static constexpr int kMaxVoices = 8;
  static constexpr std::size_t kRomSize = 262144;
  static constexpr float kChipRate = 38317.28125f;

  enum Mode : std::uint8_t { kFreeRunning = 0, kOneShot = 1, kSynced = 2 };

  // What the engine passes per oscillator at voice start.
  struct OscSetup {
    bool enabled = false;
    std::int32_t wave = 0;      // 0..74
    std::int32_t level = 0;     // 0..63
    std::int32_t octave = 0;    // -3..+5
    std::int32_t semitone = 0;  // -12..+12
    std::int32_t fine = 0;      // 1/32 semitone, FINE plus the note's fine offset
  };

  struct ChipRegisters {
    bool halted = true;
    std::int32_t chipVolume = 0;
    float gainTarget = 0.0f;  // pre-multiplied by 1 - a
    float gain = 0.0f;
    std::int32_t frequencyWord = 0;
    std::int32_t shift = 0;
    std::int32_t bank = 0;
    std::int32_t page = 0;
    std::int32_t baseAddress = 0;
    std::int32_t tableExponent = 8;
    std::int32_t tableSize = 256;
    std::int32_t resolution = 0;
    std::int32_t accumulatorMask = 0;
    std::uint32_t accumulator = 0;  // 16.16, integer part = sample index
    std::uint32_t increment = 0;
    std::uint32_t previousAccumulator = 0;
    Mode mode = kFreeRunning;
    bool bankLink = false;
  };

  struct Oscillator {
    bool enabled = false;
    bool running = false;
    std::int32_t wave = 0;
    std::int32_t transpose = 0;  // semitones
    std::int32_t fine = 0;       // 1/32 semitone
    std::int32_t pitch = 0;      // 1/256 semitone
    std::int32_t pitchWithModulation = 0;
    std::int32_t pitchModulation = 0;
    std::int32_t baseVolume = 0;
    std::int32_t currentVolume = 0;
    std::int32_t volumeModulation = 0;
    ChipRegisters reg;
  };

  // The engine creates the chip with its host rate; setHostRate changes it later.
  // The wave memory starts zeroed (silent) until loadRom.
  explicit Cdoc(int voiceCount, float hostRate = 44100.0f);
  ~Cdoc() = default;
  Cdoc(const Cdoc&) = delete;
  Cdoc& operator=(const Cdoc&) = delete;

  // Copies min(size, 256 KiB) bytes of an image into the ROM; a shorter image leaves the rest zero.
  void loadRom(const std::uint8_t* data, std::size_t size);

  // Stores the host rate and derives the interpolator's phase step. Rates that are not finite
  // and positive are ignored.
  void setHostRate(float hostRate);

  void startVoice(int voice, int note, bool amBug, bool restart, bool am, bool sync,
                  const std::array<OscSetup, 3>& setup);
  void retuneVoice(int voice, int note, int extraFine);
  void haltVoice(int voice);
  void modulateOscillator(int voice, int oscillator, int volumeModulation, int pitchModulation);
  void updateInterpolationOrder(int voice);
  float renderVoice(int voice);
  void resetVoice(int voice);
  void resetAll();

  int voiceCount() const { return voiceCount_; }
  float chipRate() const { return kChipRate; }
  float hostRate() const { return hostRate_; }
  // 2^30 * chip rate / host rate, rounded to nearest.
  std::uint64_t phaseIncrement() const { return phaseIncrement_; }
  float smoothing() const { return a_; }
  float smoothingComplement() const { return oneMinusA_; }
  const Oscillator& oscillator(int voice, int oscillator) const;
  int interpolationOrder(int voice) const;
  bool amFlag(int voice) const;
  const std::vector<std::uint8_t>& rom() const { return rom_; }
  // Below the chip rate, the length of the low-pass the chip's output runs through before it is
  // resampled (0 at and above the chip rate, where the output stays the chip's own).
  int bandLimitTaps() const { return bandTaps_; }
  static constexpr int kMaxBandTaps = 63;

 private:
  friend class CvoiceLanes;  // loads and stores the per-sample state of the lane render
  struct Voice {
    std::array<Oscillator, 3> osc;
    bool am = false;
    std::int32_t order = 0;
    std::uint32_t phase = 0;     // 30-bit fraction of the current chip step
    std::uint32_t stepsDue = 1;  // chip steps to run at the next render (phase wraps)
    std::array<float, 4> h{};    // H0 (oldest) .. H3
    std::array<float, 4> c{};
    // The band-limiting low-pass's input, written twice (at pos and pos + taps) so that the
    // latest `taps` samples always lie side by side.
    std::array<float, 2 * kMaxBandTaps> band{};
    std::int32_t bandPos = 0;
  };

  bool validVoice(int voice) const { return voice >= 0 && voice < voiceCount_; }
  // The voice of a number that validVoice() accepts.
  Voice& voiceAt(int voice) { return voices_[static_cast<std::size_t>(voice)]; }
  const Voice& voiceAt(int voice) const { return voices_[static_cast<std::size_t>(voice)]; }
  void setGainTarget(ChipRegisters& r, std::int32_t volume) const;
  // One chip step and one host sample of a voice, compiled once per interpolation order (0 for
  // a voice that never had one) so that the per-sample path has no order to test.
  template <int Order, bool BandLimit>
  void chipStep(Voice& v);
  template <int Order, bool BandLimit>
  float renderAtOrder(Voice& v);
  float bandLimit(Voice& v, float y) const;
  void designBandLimit();

  int voiceCount_ = kMaxVoices;
  std::vector<std::uint8_t> rom_;
  float hostRate_ = 44100.0f;
  std::uint64_t phaseIncrement_ = 0;
  float a_ = 0.0f;
  float oneMinusA_ = 0.0f;
  int bandTaps_ = 0;
  std::array<float, kMaxBandTaps> bandCoefficients_{};
  std::array<Voice, kMaxVoices> voices_{};
};

}  // namespace korvo
