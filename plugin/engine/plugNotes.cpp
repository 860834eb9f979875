// Note handling of the engine: mono and poly note-on and note-off, voice allocation with
// click-free stealing, voice start, legato return and the end of a voice.
#include <array>
#include <cmath>

#include "modSources.h"
#include "plugCore.h"
#include "renderMath.h"
#include "sharedWord.h"
#include "transTables.h"

namespace korvo {

namespace {
const NoteParams kZeroParams{};

// The sound is the edit buffer, whose words the editor may change meanwhile: every read is one
// whole-word atomic load.
int w(const ProgramRecord& p, int index) { return loadSharedWord(p.words[index]); }

std::array<std::int16_t, 12> block12(const ProgramRecord& p, int first) {
  std::array<std::int16_t, 12> b;
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = loadSharedWord(p.words[first + static_cast<int>(i)]);
  return b;
}

std::int32_t keyb2(int note) {
  if (note <= 36) return -127;
  if (note >= 96) return 127;
  return (note - 64) * 4;
}

// Glide speed in 1/256 semitone per second over `interval` semitones at time value `glide`.
float glideSpeed(int interval, int glide) {
  const int t = kTimeTable[static_cast<std::size_t>(clampInt(glide, 0, 63))];
  return static_cast<float>(std::abs(interval)) * 256.0f * CplugMaster::kControlRate / static_cast<float>(t);
}
}  // namespace

void CplugMaster::noteEvent(int note, int velocity, const NoteParams* params, int program, const ProgramRecord* sound) {
  if (!sound) return;
  note = clampInt(note, 0, 127);
  if (velocity > 0)
    noteOn(note, velocity, params, program, sound);
  else
    noteOff(note, program, *sound);
}

void CplugMaster::pushNote(std::array<std::int16_t, 4>& list, int note) {
  for (int i = 3; i > 0; --i) list[static_cast<std::size_t>(i)] = list[static_cast<std::size_t>(i - 1)];
  list[0] = static_cast<std::int16_t>(note);
}

void CplugMaster::removeHeld(int note) {
  for (std::size_t i = 0; i < held_.size(); ++i) {
    if (held_[i] != note) continue;
    for (std::size_t j = i; j + 1 < held_.size(); ++j) held_[j] = held_[j + 1];
    held_[3] = -1;
    return;
  }
}

void CplugMaster::noteOn(int note, int velocity, const NoteParams* params, int program, const ProgramRecord* sound) {
  const ProgramRecord& p = *sound;
  if (w(p, word::kMode + word::kModeMono) > 0) {
    Voice* keep = nullptr;
    for (int n = 0; n < voiceCount_; ++n) {
      Voice& v = voices_[static_cast<std::size_t>(n)];
      if (!v.active || v.program != program) continue;
      if (!keep) {
        keep = &v;
      } else {
        releaseVoice(v);
        removeHeld(v.note);
      }
    }
    const int glideFrom = held_[0];
    if (!keep) {
      startOrQueue(voices_[static_cast<std::size_t>(allocateVoice())], sound, program, note, glideFrom, velocity,
                   params);
    } else if (keep->released) {
      startOrQueue(*keep, sound, program, note, glideFrom, velocity, params);
    } else {
      voiceStart(*keep,
                 {sound, program, note, glideFrom, velocity, params ? *params : kZeroParams, false, false, false});
    }
  } else {
    const bool restartVoice = w(p, word::kMode + word::kModeRestVc) > 0;
    Voice* found = nullptr;
    for (int n = 0; n < voiceCount_; ++n) {
      Voice& v = voices_[static_cast<std::size_t>(n)];
      if (!v.active || v.program != program || v.note != note) continue;
      found = &v;
      if (!restartVoice) releaseVoice(v);
    }
    const int glideFrom = played_[0];
    if (!restartVoice || !found)
      startOrQueue(voices_[static_cast<std::size_t>(allocateVoice())], sound, program, note, glideFrom, velocity,
                   params);
    else
      startOrQueue(*found, sound, program, note, glideFrom, velocity, params);
  }
  pushNote(played_, note);
  pushNote(held_, note);
}

void CplugMaster::noteOff(int note, int program, const ProgramRecord& sound) {
  const bool mono = w(sound, word::kMode + word::kModeMono) > 0;
  Voice* found = nullptr;
  for (int n = 0; n < voiceCount_; ++n) {
    Voice& v = voices_[static_cast<std::size_t>(n)];
    if (v.waiting.counter != 0 && v.waiting.start.note == note) v.waiting.counter = 0;
    if (!v.active || v.released || v.program != program || v.note != note) continue;
    if (mono)
      found = &v;
    else
      releaseVoice(v);
  }
  if (mono && found) {
    if (held_[1] < 0)
      releaseVoice(*found);
    else
      legatoReturn(*found, held_[1]);
  }
  removeHeld(note);
}

int CplugMaster::allocateVoice() const {
  if (voiceCount_ <= 1) return 0;
  auto pick = [this](bool releasedOnly) {
    int oldest = -1, longest = -1;
    for (int n = 0; n < voiceCount_; ++n) {
      const Voice& v = voices_[static_cast<std::size_t>(n)];
      if (releasedOnly && !v.active) return n;  // a free voice is taken at once
      if (releasedOnly && !v.released) continue;
      if (v.waiting.counter == 0) {
        if (oldest < 0 || v.age <= voices_[static_cast<std::size_t>(oldest)].age) oldest = n;
      } else if (longest < 0 || v.waiting.counter >= voices_[static_cast<std::size_t>(longest)].waiting.counter) {
        longest = n;
      }
    }
    return oldest >= 0 ? oldest : longest;
  };
  const int first = pick(true);
  return first >= 0 ? first : pick(false);
}

void CplugMaster::startOrQueue(Voice& v, const ProgramRecord* sound, int program, int note, int glideFrom, int velocity,
                               const NoteParams* params) {
  const VoiceStart start{sound,    program,
                         note,     glideFrom,
                         velocity, params ? *params : kZeroParams,
                         true,     w(*sound, word::kMode + word::kModeRestOsc) > 0,
                         true};
  if (!v.active) {
    voiceStart(v, start);
    return;
  }
  // Stealing: fade the voice out; the queued note starts when it is silent.
  v.amp.setSmoothingMode(1);
  v.amp.fadeOut();
  v.waiting.counter = 1;
  v.waiting.start = start;
}

CplugMaster::ModSlot CplugMaster::slot(Voice& v, int selector, int amount) {
  const SourceRef ref = resolveSource(selector);
  const std::int32_t* source =
      ref.kind == SourceKind::PerVoice ? &v.local[static_cast<std::size_t>(ref.slot)] : &controllers_[slotOf(ref.slot)];
  return {source, amount};
}

void CplugMaster::resolveSlots(Voice& v, const ProgramRecord& p) {
  for (int i = 0; i < 3; ++i) {
    const int o = word::kOsc[i], d = word::kDca[i];
    v.pitch[i][0] = slot(v, w(p, o + word::kOscMod1Sel), w(p, o + word::kOscMod1Amt));
    v.pitch[i][1] = slot(v, w(p, o + word::kOscMod2Sel), w(p, o + word::kOscMod2Amt));
    v.level[i][0] = slot(v, w(p, d + word::kDcaMod1Sel), w(p, d + word::kDcaMod1Amt));
    v.level[i][1] = slot(v, w(p, d + word::kDcaMod2Sel), w(p, d + word::kDcaMod2Amt));
  }
  v.cutoff[0] = slot(v, w(p, word::kFilter + word::kFiltMod1Sel), w(p, word::kFilter + word::kFiltMod1Amt));
  v.cutoff[1] = slot(v, w(p, word::kFilter + word::kFiltMod2Sel), w(p, word::kFilter + word::kFiltMod2Amt));
  v.outLevel = slot(v, w(p, word::kDca4 + word::kDca4AmodSel), w(p, word::kDca4 + word::kDca4AmodAmt));
  v.outPan = slot(v, w(p, word::kDca4 + word::kDca4PmodSel), w(p, word::kDca4 + word::kDca4PmodAmt));
  for (int k = 0; k < 4; ++k)
    v.lfoDepth[k] = slot(v, w(p, word::kLfo[k] + word::kLfoModSel), w(p, word::kLfo[k] + word::kLfoModAmt));
  for (int j = 0; j < 3; ++j)
    for (int m = 0; m < 4; ++m) v.matrix[j][m] = slot(v, w(p, word::kMat[j] + 2 * m), w(p, word::kMat[j] + 2 * m + 1));
}

void CplugMaster::voiceStart(Voice& v, const VoiceStart& start) {
  if (!start.sound || v.number >= voiceCount_) return;
  const NoteParams& np = start.params;
  const ProgramRecord& p = *start.sound;
  int velocity = start.velocity, note = start.note, glideFrom = start.glideFrom;
  if (!v.active) {
    if (activeCount_ >= voiceCount_) return;
    active_[static_cast<std::size_t>(activeCount_++)] = &v;
  }
  const int delay = np.startDelay;
  v.startDelay =
      delay >= 1 ? renderToInt(kTimeTable[static_cast<std::size_t>(clampInt(delay, 0, 63))] * samplesPerTick_) : 0;
  v.volumeFactor = np.volume * w(p, word::kDca4 + word::kDca4Env4Amt) / 64;
  v.panOffset = np.panOffset;
  v.tag = np.tag;
  v.pan = w(p, word::kDca4 + word::kDca4Pan);
  v.bendRange = w(p, word::kBrange);
  v.bendMode = w(p, word::kBmode);
  v.filterKeyAmount = w(p, word::kFilter + word::kFiltKeybd);

  velocity = clampInt(velocity, 0, 127);
  note = clampInt(note, 0, 127);
  glideFrom = glideFrom < 0 ? note : clampInt(glideFrom, 0, 127);

  v.age = 0xFFFFFFFFu;
  v.program = start.program;
  v.sound = start.sound;
  v.released = false;
  v.waiting.counter = 0;
  v.tickCountdown = 0;

  if (start.envRestart) {
    for (int k = 0; k < 4; ++k) {
      const int reset = w(p, word::kLfo[k] + word::kLfoReset);
      v.lfo[k].start(block12(p, word::kLfo[k]), (reset >= 1 ? reset - 1 : 0) + np.lfoPhase, reset >= 1);
      v.env[k].start(block12(p, word::kEnv[k]), note, w(p, word::kMode + word::kModeCyc) > 0,
                     w(p, word::kMode + word::kModeRestEnv) > 0, velocity);
    }
  }
  v.amp.setSaturation(w(p, word::kSat));
  if (start.restart) {
    v.filter.setUp(2 * w(p, word::kFilter + word::kFiltFreq), w(p, word::kFilter + word::kFiltRes), false);
    v.filter.resetState();
    v.amp.setSmoothingMode(1);
  }
  resolveSlots(v, p);
  v.am = w(p, word::kMode + word::kModeAm) > 0;

  v.local.fill(0);
  v.local[kSourceVel] = kVelocityCurveA[static_cast<std::size_t>(velocity)];
  v.local[kSourceVelX] = kVelocityCurveB[static_cast<std::size_t>(velocity)];
  v.local[kSourceKeyb] = note;
  v.local[kSourceKeyb2] = keyb2(note);

  std::array<Cdoc::OscSetup, 3> setup;
  for (int i = 0; i < 3; ++i) {
    const int o = word::kOsc[i], d = word::kDca[i];
    Cdoc::OscSetup& s = setup[static_cast<std::size_t>(i)];
    s.enabled = w(p, d + word::kDcaEnable) > 0;
    s.level = w(p, d + word::kDcaLevel);
    s.wave = w(p, o + word::kOscWave);
    s.octave = w(p, o + word::kOscOct);
    s.semitone = w(p, o + word::kOscSemi);
    s.fine = w(p, o + word::kOscFine) + np.fineTune;
    if (v.am && i < 2) {
      s.enabled = true;
      s.level = 63;
    }
  }

  const int glide = w(p, word::kMode + word::kModeGlide);
  v.follower.reset(0);
  if (glide < 1 || glideFrom == note) {
    v.gliding = false;
  } else {
    v.gliding = true;
    v.glideBaseNote = glideFrom;
    v.follower.setSpeed(glideSpeed(note - glideFrom, glide));
    v.follower.setTarget((note - glideFrom) * 256);
  }
  v.heldBend = controllers_[kPitchBendSlot] * v.bendRange / 32;
  v.firstTick = true;

  doc_->startVoice(v.number, note, w(p, word::kAmbug) > 0, start.oscRestart, v.am,
                   w(p, word::kMode + word::kModeSync) > 0, setup);
  if (v.gliding) doc_->retuneVoice(v.number, glideFrom, 0);
  v.note = static_cast<std::uint8_t>(note);
  v.active = true;
}

void CplugMaster::legatoReturn(Voice& v, int note) {
  const int glide = v.sound ? w(*v.sound, word::kMode + word::kModeGlide) : 0;
  if (glide <= 0 || note == v.note) {
    v.gliding = false;
    v.follower.reset(0);
    doc_->retuneVoice(v.number, note, 0);
  } else {
    v.gliding = true;
    v.follower.setSpeed(glideSpeed(note - v.note, glide));
    v.follower.setTarget((note - v.glideBaseNote) * 256);
  }
  v.note = static_cast<std::uint8_t>(note);
  v.local[kSourceKeyb] = note;
  v.local[kSourceKeyb2] = keyb2(note);
}

void CplugMaster::releaseVoice(Voice& v) {
  if (!v.active || v.released) return;
  for (auto& e : v.env) e.release();
  v.released = true;
}

void CplugMaster::endVoice(Voice& v) {
  doc_->haltVoice(v.number);
  if (v.waiting.counter != 0) {
    const VoiceStart queued = v.waiting.start;
    voiceStart(v, queued);
    return;
  }
  v.active = false;
  v.age = 0;
  for (int i = 0; i < activeCount_; ++i) {
    if (active_[static_cast<std::size_t>(i)] != &v) continue;
    for (int j = i; j + 1 < activeCount_; ++j)
      active_[static_cast<std::size_t>(j)] = active_[static_cast<std::size_t>(j + 1)];
    active_[static_cast<std::size_t>(--activeCount_)] = nullptr;
    break;
  }
}

}  // namespace korvo
