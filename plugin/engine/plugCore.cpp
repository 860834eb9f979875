#include "plugCore.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "VSTaux.h"
#include "modSources.h"
#include "renderMath.h"
#include "sharedWord.h"
#include "transTables.h"

namespace korvo {

namespace {
constexpr int kHeldBendScale = 32;
constexpr int kAllNotesOff = 123;  // the controller that ends every voice at once

// The control tick sums in 64 bits and hands the modules 32-bit values saturated at the ends of
// that range; the modules' own clamps (level 0..255, pan -63..63, pitch and cutoff index) then
// give what they would give the exact sum, and nothing changes where the 32-bit sums fit.
std::int32_t saturate(std::int64_t v) { return clampWide(v, INT32_MIN, INT32_MAX); }

// The matrix's amplitude pair: k = A4 x (S4 - 127) + kMatrixUnity, where |A4 x (S4 - 127)| is at
// most 63 x 127 = 8001, so an off pair (A4 = 0) gives exactly the unity and A4 = 63 scales by S4 / 127.
constexpr std::int64_t kMatrixUnity = 63 * 127;
// The output is the slot sum times k over 63 (a slot's full amount) x unity = 504063.
constexpr std::int64_t kMatrixDivisor = 63 * kMatrixUnity;
static_assert(kMatrixUnity == 8001 && kMatrixDivisor == 504063);

// s x k / kMatrixDivisor saturated to 32 bits. A product beyond 64 bits has a quotient far beyond 32.
std::int32_t matrixOutput(std::int64_t s, std::int64_t k) {
  std::int64_t product;
  if (__builtin_mul_overflow(s, k, &product)) return (s < 0) != (k < 0) ? INT32_MIN : INT32_MAX;
  return saturate(product / kMatrixDivisor);
}
}  // namespace

CplugMaster::CplugMaster(int sampleRate, EngineData data)
    : soundMan_(NoteCallback::Bind<CplugMaster, &CplugMaster::noteEvent>(this)) {
  sampleRate_ = sampleRate > 0 ? sampleRate : 44100;
  controlRate_ = kControlRate;

  parser_.setHandlers([this](int channel, int note, int velocity) { soundMan_.PlayNote(channel, note, velocity); }, {},
                      [this](int channel, int index, int value) { controller(channel, index, value); },
                      [this](int) { resetState(); });
  parser_.setProgramHandler([this](int, int program) { programChange(program); });

  doc_ = std::make_unique<Cdoc>(kMaxVoices, static_cast<float>(sampleRate_));
  doc_->loadRom(data.waveRom.data(), data.waveRom.size());

  for (int n = 0; n < kMaxVoices; ++n) {
    Voice& v = voices_[static_cast<std::size_t>(n)];
    v.number = n;
    v.filter.construct(static_cast<float>(sampleRate_));
    v.amp.setSampleRate(static_cast<float>(sampleRate_));
    resolveSlots(v, *soundMan_.EditRecord());
  }
  setSampleRate(sampleRate_);
  setControlRate(kControlRate);
  setVoiceCount(kMaxVoices);
  resetAll();
  if (data.programBank.size() == static_cast<std::size_t>(Ckv_soundMan::BankSize()))
    soundMan_.LoadBank(data.programBank.data());
  soundMan_.SelectProgram(0);
}

void CplugMaster::setSampleRate(int rate) {
  if (rate <= 0) return;
  // The chip, the filters, the amplifiers and the tick period all change: no block may run
  // on a mixture of old and new.
  BusyScope busy(*this);
  sampleRate_ = rate;
  samplesPerTick_ = static_cast<float>(rate) / kControlRate;
  doc_->setHostRate(static_cast<float>(rate));
  for (Voice& v : voices_) {
    v.amp.setSampleRate(static_cast<float>(rate));
    v.filter.setSampleRate(static_cast<float>(rate));
  }
  setControlRate(controlRate_);
  reset();
}

void CplugMaster::setControlRate(float rate) {
  BusyScope busy(*this);
  if (rate < 1.0f) rate = 1.0f;
  if (rate > static_cast<float>(sampleRate_)) rate = static_cast<float>(sampleRate_);
  tickPeriod_ = static_cast<std::int32_t>(std::lrint(static_cast<double>(sampleRate_) / rate * 1024.0)) - 1024;
  if (rate == controlRate_) return;
  controlRate_ = rate;
  for (Voice& v : voices_) {
    if (v.tickCountdown > tickPeriod_) v.tickCountdown = tickPeriod_;
    v.follower.setControlRate(rate);
    for (auto& l : v.lfo) l.setControlRate(rate);
    for (auto& e : v.env) e.setControlRate(rate);
  }
}

void CplugMaster::setVoiceCount(int count) {
  BusyScope busy(*this);
  if (count > kMaxVoices) count = kMaxVoices;
  if (count < 1) count = 1;
  voiceCount_ = count;
  outputScale_ = 1.0f / std::sqrt(static_cast<float>(count));
  reset();
}

void CplugMaster::resetVoices() {
  played_.fill(-1);
  held_.fill(-1);
  for (Voice& v : voices_) {
    v.active = false;
    v.age = 0;
    v.note = 255;
    v.waiting.counter = 0;
  }
  active_.fill(nullptr);
  activeCount_ = 0;
  voicesInUse_.store(0, std::memory_order_relaxed);
}

void CplugMaster::reset() {
  BusyScope busy(*this);
  resetState();
}

void CplugMaster::resetState() {
  resetVoices();
  doc_->resetAll();
  controllers_.fill(0);
}

void CplugMaster::resetAll() {
  BusyScope busy(*this);
  parser_.clear();  // at creation only: later the parser belongs to the audio thread
  setVoiceCount(kMaxVoices);
  reset();
}

std::vector<std::uint8_t> CplugMaster::getChunk() {
  std::vector<std::uint8_t> image(static_cast<std::size_t>(Ckv_soundMan::EditRecordSize()));
  soundMan_.SaveEdit(image.data());
  return image;
}

bool CplugMaster::setChunk(const void* data, std::size_t size) {
  if (!data || size != static_cast<std::size_t>(Ckv_soundMan::EditRecordSize())) return false;
  // A whole-record copy while a note may be reading the edit buffer.
  BusyScope busy(*this);
  if (!soundMan_.LoadEdit(data)) return false;
  stateJustRestored_.store(true, std::memory_order_relaxed);
  return true;
}

void CplugMaster::keyboardNote(int channel, int note, int velocity) { soundMan_.PlayNote(channel, note, velocity); }

CplugMaster::BusyScope::BusyScope(CplugMaster& engine) : busy_(engine.busy_) {
  // Sequentially consistent on both sides: either the render sees the raised counter and stays
  // out, or this sees it inside (an odd count) and waits for that one render to leave. Renders
  // after it are silent, so one change of the count is enough: waiting for no render at all
  // could starve while a host renders back to back.
  busy_.fetch_add(1, std::memory_order_seq_cst);
  const std::uint32_t inside = engine.renders_.load(std::memory_order_seq_cst);
  if (inside % 2 == 0) return;
  while (engine.renders_.load(std::memory_order_acquire) == inside) std::this_thread::yield();
}

bool CplugMaster::queueKeyboardNote(int channel, int note, int velocity) {
  if (note < 0 || note > 127) return false;
  if (velocity > 0 && editorEvents_.size() >= kEditorQueueSize - kEditorReserve) return false;
  return editorEvents_.push({EditorEvent::Note, static_cast<std::uint8_t>(channel & 15),
                             static_cast<std::uint8_t>(note),
                             static_cast<std::uint8_t>(velocity < 0 ? 0 : (velocity > 127 ? 127 : velocity))});
}

bool CplugMaster::queuePanic() { return editorEvents_.push({EditorEvent::Panic, 0, 0, 0}); }

void CplugMaster::panic() { resetState(); }

void CplugMaster::playEditorEvents() {
  EditorEvent e;
  while (editorEvents_.pop(e)) {
    if (e.kind == EditorEvent::Panic)
      panic();
    else
      keyboardNote(e.channel, e.note, e.velocity);
  }
}

void CplugMaster::controller(int channel, int index, int value) {
  if (channel > 15 || channel < 0 || index < 0) return;
  if (index == kAllNotesOff) {
    for (int i = activeCount_ - 1; i >= 0; --i) {
      Voice& v = *active_[static_cast<std::size_t>(i)];
      v.waiting.counter = 0;
      endVoice(v);
    }
    return;
  }
  if (index == CMidiParser::kPitchBendIndex) {
    controllers_[kPitchBendSlot] = value;
  } else if (index <= CMidiParser::kPressureIndex) {
    controllers_[slotOf(index)] = static_cast<std::int16_t>(value);
  }
  if (index < MidiLearn::kControllers)
    if (const auto binding = midiLearn_.onController(index)) learnedController(*binding, value);
}

void CplugMaster::learnedController(const ControllerBinding& binding, int value) {
  if (binding.word < 0 || binding.word >= kParamWordCount) return;
  std::int16_t& word = soundMan_.EditRecord()->words[binding.word];
  const auto next = static_cast<std::int16_t>(binding.valueFor(value));
  if (loadSharedWord(word) == next) return;
  storeSharedWord(word, next);
  soundMan_.Editor().SetModified();
  soundChanges_.fetch_add(1, std::memory_order_acq_rel);
}

void CplugMaster::programChange(int program) {
  if (!programChangeSelects_.load(std::memory_order_relaxed) || stateJustRestored_.load(std::memory_order_relaxed))
    return;
  if (soundMan_.SelectProgramRealtime(program)) soundChanges_.fetch_add(1, std::memory_order_acq_rel);
}

CplugMaster::VoiceView CplugMaster::voice(int n) const {
  const Voice& v = voices_[static_cast<std::size_t>(n & 7)];
  return {v.active, v.released,        v.gliding, v.note, v.program, v.waiting.counter ? v.waiting.start.note : -1,
          v.age,    v.waiting.counter, v.heldBend};
}

// Render ------------------------------------------------------------------------------------------

void CplugMaster::render(bool replace, float* left, int frames, float* right) {
  ScopedRenderFpu fpu;
  if (!left || !right || frames <= 0) {
    parser_.skipBlock();
    return;
  }
  struct Inside {  // odd while a render runs (see BusyScope)
    std::atomic<std::uint32_t>& count;
    explicit Inside(std::atomic<std::uint32_t>& c) : count(c) { count.fetch_add(1, std::memory_order_seq_cst); }
    ~Inside() { count.fetch_add(1, std::memory_order_release); }
  } inside(renders_);
  if (busy_.load(std::memory_order_seq_cst) > 0 || voiceCount_ < 1) {
    // The host's events of this block are played at the start of the next one; the editor's
    // stay in their queue.
    parser_.skipBlock();
    if (replace) {
      std::memset(left, 0, sizeof(float) * static_cast<std::size_t>(frames));
      std::memset(right, 0, sizeof(float) * static_cast<std::size_t>(frames));
    }
    return;
  }
  playEditorEvents();
  parser_.beginBlock();
  if (laneRender_ && CvoiceLanes::supports(*doc_))
    renderLanes(replace, left, frames, right);
  else
    renderScalar(replace, left, frames, right);
  parser_.endBlock();
  stateJustRestored_.store(false, std::memory_order_relaxed);
  voicesInUse_.store(activeCount_, std::memory_order_relaxed);
}

// What a voice does at the top of every sample before it renders: wait out its start delay
// (false: it renders nothing this sample), count, and run its control tick when one is due.
bool CplugMaster::sampleHead(Voice& v) {
  if (v.startDelay > 0) {
    --v.startDelay;
    return false;
  }
  if (v.age != 0) --v.age;
  if (v.waiting.counter != 0) ++v.waiting.counter;
  if (v.tickCountdown >= 1) {
    v.tickCountdown -= 1024;
  } else {
    v.tickCountdown += tickPeriod_;
    controlTick(v);
  }
  return true;
}

// The reference: voice by voice, sample by sample.
void CplugMaster::renderScalar(bool replace, float* left, int frames, float* right) {
  for (int t = 0; t < frames; ++t) {
    parser_.sample();
    if (activeCount_ == 0) {
      if (replace) left[t] = right[t] = 0.0f;
      continue;
    }
    float l = 0.0f, r = 0.0f;
    std::size_t finishedCount = 0;
    for (int i = 0; i < activeCount_; ++i) {
      Voice& v = *active_[static_cast<std::size_t>(i)];
      if (!sampleHead(v)) continue;
      const float s = v.filter.process(doc_->renderVoice(v.number));
      v.amp.process(s, l, r);
      if ((v.waiting.counter != 0 || !v.env[3].active()) && v.amp.silent()) finished_[finishedCount++] = v.number;
    }
    for (std::size_t i = 0; i < finishedCount; ++i) endVoice(voices_[static_cast<std::size_t>(finished_[i])]);
    if (replace) {
      left[t] = l * outputScale_;
      right[t] = r * outputScale_;
    } else {
      left[t] += l * outputScale_;
      right[t] += r * outputScale_;
    }
  }
}

// The same samples with the voices' per-sample work in vector lanes. A sample's head (MIDI
// items due, start delays, counters, control ticks) runs voice by voice as above; then as many
// samples as pass before the next head that does more than count run in the lanes at once.
// Control ticks and the per-sample work of different voices touch nothing in common, so running
// all heads of a sample before its lanes changes nothing, and the lanes are added into the sums
// in the order of the active voice list.
void CplugMaster::renderLanes(bool replace, float* left, int frames, float* right) {
  const auto bit = [](const Voice& v) { return 1u << v.number; };
  int t = 0;
  while (t < frames) {
    parser_.sample();
    if (activeCount_ == 0) {
      const int n = 1 + std::min(frames - t - 1, parser_.quietFrames());
      if (replace) {
        std::memset(left + t, 0, sizeof(float) * static_cast<std::size_t>(n));
        std::memset(right + t, 0, sizeof(float) * static_cast<std::size_t>(n));
      }
      parser_.skip(n - 1);
      t += n;
      continue;
    }
    unsigned running = 0, candidates = 0;
    std::int64_t quiet = std::min(frames - t - 1, parser_.quietFrames());
    std::array<int, kMaxVoices> order{};
    int orderCount = 0;
    for (int i = 0; i < activeCount_; ++i) {
      Voice& v = *active_[static_cast<std::size_t>(i)];
      if (!sampleHead(v)) {
        quiet = std::min<std::int64_t>(quiet, v.startDelay);
        continue;
      }
      running |= bit(v);
      order[static_cast<std::size_t>(orderCount++)] = v.number;
      // The next tick falls due at the first head that finds the countdown below 1.
      quiet = std::min<std::int64_t>(quiet, v.tickCountdown >= 1 ? (std::int64_t{v.tickCountdown} + 1023) / 1024 : 0);
      if (v.waiting.counter != 0) {
        candidates |= bit(v);
        quiet = std::min<std::int64_t>(quiet, std::int64_t{UINT32_MAX} - v.waiting.counter);  // until it wraps to 0
      } else if (!v.env[3].active()) {
        candidates |= bit(v);
      }
    }

    const int span = static_cast<int>(quiet) + 1;
    int done = 0;
    unsigned finished = 0;
    const auto output = [&](int j, float l, float r) {
      if (replace) {
        left[t + j] = l * outputScale_;
        right[t + j] = r * outputScale_;
      } else {
        left[t + j] += l * outputScale_;
        right[t + j] += r * outputScale_;
      }
    };
    if (orderCount == 0) {
      // Every active voice is waiting out its start delay.
      for (; done < span; ++done) output(done, 0.0f, 0.0f);
    } else if (orderCount == 1) {
      // One voice gains nothing from lanes: its own modules, without the per-sample head.
      Voice& v = voices_[static_cast<std::size_t>(order[0])];
      const bool candidate = candidates != 0;
      while (done < span) {
        float l = 0.0f, r = 0.0f;
        v.amp.process(v.filter.process(doc_->renderVoice(v.number)), l, r);
        output(done++, l, r);
        if (candidate && v.amp.silent()) {
          finished = bit(v);
          break;
        }
      }
    } else {
      for (int i = 0; i < orderCount; ++i) {
        Voice& v = voices_[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])];
        lanes_.load(v.number, *doc_, v.number, v.filter, v.amp);
      }
      while (done < span && finished == 0) {
        const int got = lanes_.run(*doc_, running, candidates, span - done, finished);
        for (int j = 0; j < got; ++j) {
          float l = 0.0f, r = 0.0f;
          for (int i = 0; i < orderCount; ++i) {
            l += lanes_.left(j, order[static_cast<std::size_t>(i)]);
            r += lanes_.right(j, order[static_cast<std::size_t>(i)]);
          }
          output(done + j, l, r);
        }
        done += got;
      }
      for (int i = 0; i < orderCount; ++i) {
        Voice& v = voices_[static_cast<std::size_t>(order[static_cast<std::size_t>(i)])];
        lanes_.store(v.number, *doc_, v.number, v.filter, v.amp);
      }
    }

    // The heads of the samples after the first: counting only.
    const std::int64_t extra = done - 1;
    if (extra > 0) {
      for (int i = 0; i < activeCount_; ++i) {
        Voice& v = *active_[static_cast<std::size_t>(i)];
        if ((running & bit(v)) == 0) {
          v.startDelay -= static_cast<std::int32_t>(extra);
          continue;
        }
        v.age = v.age > extra ? static_cast<std::uint32_t>(v.age - extra) : 0u;
        if (v.waiting.counter != 0) v.waiting.counter += static_cast<std::uint32_t>(extra);
        v.tickCountdown = static_cast<std::int32_t>(v.tickCountdown - 1024 * extra);
      }
      parser_.skip(static_cast<std::int32_t>(extra));
    }
    if (finished != 0) {
      int count = 0;
      for (int i = 0; i < activeCount_; ++i) {
        const Voice& v = *active_[static_cast<std::size_t>(i)];
        if (finished & bit(v)) finished_[static_cast<std::size_t>(count++)] = v.number;
      }
      for (int i = 0; i < count; ++i)
        endVoice(voices_[static_cast<std::size_t>(finished_[static_cast<std::size_t>(i)])]);
    }
    t += done;
  }
}

bool CplugMaster::followsWheel(const Voice& v) const {
  switch (v.bendMode) {
    case 1:
    case 4: return !v.released;
    case 2:
    case 5: return v.note == played_[0];
    case 3:
    case 6: return v.note == played_[0] && !v.released;
    default: return true;
  }
}

void CplugMaster::controlTick(Voice& v) {
  if (!v.firstTick) v.amp.setSmoothingMode(0);
  // The LFO sources are the outputs halved: a full-level LFO then spans about +-63, the range of
  // the other bipolar sources and of a modulation amount, as on the instrument.
  for (int k = 0; k < 4; ++k) v.local[static_cast<std::size_t>(kSourceLfo1 + k)] = v.lfo[k].tick() / 2;
  for (int k = 0; k < 4; ++k) v.local[static_cast<std::size_t>(kSourceEnv1 + k)] = v.env[k].tick();

  std::int64_t p = v.gliding ? v.follower.tick() : 0;
  std::int32_t bend;
  if (followsWheel(v)) {
    bend = saturate(std::int64_t{controllers_[kPitchBendSlot]} * v.bendRange / kHeldBendScale);
    if (v.bendMode <= 3) v.heldBend = bend;
  } else {
    bend = v.heldBend;
  }
  p += bend;

  // The matrices run in order, so MAT2 already sees this tick's MAT1.
  for (int j = 0; j < 3; ++j) {
    const auto& m = v.matrix[j];
    const std::int64_t s = m[0].product() + m[1].product() + m[2].product();
    const std::int64_t k = std::int64_t{m[3].amount} * (std::int64_t{*m[3].source} - 127) + kMatrixUnity;
    v.local[static_cast<std::size_t>(kSourceMat1 + j)] = matrixOutput(s, k);
  }
  for (int k = 0; k < 4; ++k) v.lfo[k].setModulation(saturate(v.lfoDepth[k].product() / 63));

  for (int i = 0; i < 3; ++i) {
    const std::int32_t pitch = saturate(v.pitch[i][0].product() + v.pitch[i][1].product() + p);
    std::int32_t level = saturate((v.level[i][0].product() + v.level[i][1].product()) / 64);
    if (v.am && i < 2) level = 0;
    doc_->modulateOscillator(v.number, i, level, pitch);
  }

  const std::int32_t cutoff = saturate(
      (v.cutoff[0].product() + v.cutoff[1].product() + std::int64_t{v.local[kSourceKeyb]} * v.filterKeyAmount) / 32);
  v.filter.applyCutoffModulation(cutoff, v.firstTick);

  if (v.waiting.counter == 0) {
    // The inner sum is saturated before it is scaled: beyond 32 bits, any volume factor but 0
    // (which gives 0 either way) puts the level past the amplifier's clamp on the same side.
    const std::int64_t inner = saturate(2 * std::int64_t{v.env[3].level()} + v.outLevel.product() / 32);
    const std::int32_t levelIndex = saturate(inner * v.volumeFactor / 64);
    const std::int32_t pan = saturate(std::int64_t{v.pan} + v.panOffset + v.outPan.product() / 64);
    v.amp.update(levelIndex, pan, v.filter.gainCompensation());
  }
  doc_->updateInterpolationOrder(v.number);
  v.firstTick = false;
}

}  // namespace korvo
