// CplugMaster: the synthesis engine of one plug-in instance. It owns the oscillator chip, the
// eight voices with their modulation and output modules, the host MIDI parser and the sound
// manager. It is given the wave ROM image and the program memory as data and touches no file and
// no setting: the instance (plugin/instance) reads those. Notes arrive as timed MIDI events and
// are dispatched at their sample position; every voice runs its modulation at the 83.54 Hz
// control rate and is mixed sample by sample into the host's buffers.
//
// Threads: render, processEvents (through the parser) and every note or controller they cause
// run on the host's audio thread and allocate nothing. Construction, destruction, sample-rate
// changes, resets and chunk calls come from the user-interface thread; a render meanwhile sees
// the busy counter and outputs silence.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "midiLearn.h"
#include "midiParser.h"
#include "mod_amp.h"
#include "mod_doc.h"
#include "mod_env.h"
#include "mod_filter.h"
#include "mod_foll.h"
#include "mod_lfo.h"
#include "progBank.h"
#include "soundMan.h"
#include "spscQueue.h"
#include "voiceLanes.h"

namespace korvo {

// What the engine plays from. Both are copied at creation, so the caller may free them after.
struct EngineData {
  // The wave ROM image: up to 256 KiB are used, a shorter one is zero-filled; empty: silent
  // oscillators.
  std::span<const std::uint8_t> waveRom;
  // The 128 programs as a bank image (Ckv_soundMan::BankSize() bytes, version 1); anything else
  // leaves the INIT programs of a fresh sound manager.
  std::span<const std::uint8_t> programBank;
};

class CplugMaster {
 public:
  static constexpr int kMaxVoices = 8;
  static constexpr float kControlRate = 83.54f;
  explicit CplugMaster(int sampleRate, EngineData data = {});
  ~CplugMaster() = default;
  CplugMaster(const CplugMaster&) = delete;
  CplugMaster& operator=(const CplugMaster&) = delete;

  // Exclusive access from the user-interface thread: held around anything that changes what a
  // render reads (resets, selecting a program, loading a library or a chunk, importing a sound).
  // Construction waits for a render in progress to end (a block at most); renders that start
  // while it is alive output silence and touch no voice. Never taken on the audio thread.
  class BusyScope {
   public:
    explicit BusyScope(CplugMaster& engine);
    ~BusyScope() { busy_.fetch_sub(1, std::memory_order_seq_cst); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    std::atomic<int>& busy_;
  };

  // User-interface thread (each takes a BusyScope).
  void setSampleRate(int rate);
  void setControlRate(float rate);
  void setVoiceCount(int count);
  void reset();
  // Also empties the parser's queue, which otherwise belongs to the audio thread: creation only.
  void resetAll();

  // Audio thread.
  // The events of the next block (the plug-in object converts the host's list).
  void processEvents(std::span<const MidiEvent> events) { parser_.fill(events); }
  void render(bool replace, float* left, int frames, float* right);
  void noteEvent(int note, int velocity, const NoteParams* params, int program, const ProgramRecord* sound);
  void controller(int channel, int index, int value);
  // The editor's on-screen keyboard, played at once (audio thread, or a caller that owns the engine).
  void keyboardNote(int channel, int note, int velocity);

  // User-interface thread: a note of the on-screen keyboard (velocity 0 releases) or a panic, played
  // at the start of the next block. False when the queue is full; the last kEditorReserve places
  // take only releases and panics, so a key that went down can always come up again.
  static constexpr std::size_t kEditorQueueSize = 1024, kEditorReserve = 128;
  bool queueKeyboardNote(int channel, int note, int velocity);
  bool queuePanic();
  // The full reset of the panic button and of the MIDI Stop and System Reset messages: voices,
  // chip and controllers (audio thread, or under a BusyScope).
  void panic();

  // MIDI learn: controllers bound to sound words (any thread; the audio thread applies them at
  // their sample, after they have also reached the modulation sources).
  MidiLearn& midiLearn() { return midiLearn_; }
  const MidiLearn& midiLearn() const { return midiLearn_; }
  // Whether a MIDI program change selects program n of the memory at its sample (any thread; off
  // until switched on). One that arrives in the first block after setChunk is ignored: hosts
  // send one right after restoring a project, which would overwrite the sound just restored.
  void setProgramChangeSelects(bool on) { programChangeSelects_.store(on, std::memory_order_relaxed); }
  bool programChangeSelects() const { return programChangeSelects_.load(std::memory_order_relaxed); }
  // Counts the changes the audio thread made to the edit buffer (learned controllers, program
  // changes), so the editor redraws at its next display tick (any thread).
  std::uint32_t soundChanges() const { return soundChanges_.load(std::memory_order_acquire); }

  // The 544-byte image of the edit buffer.
  std::vector<std::uint8_t> getChunk();
  // Accepted only at 544 bytes with a valid record; false otherwise and nothing changes.
  bool setChunk(const void* data, std::size_t size);

  // The voices run side by side in vector lanes (the default) or one after the other. Both give
  // the same output bit for bit; the one-voice path is the reference the tests and benchmarks
  // compare against, and the only one at host rates below the chip rate. Audio thread, or a
  // caller that owns the engine.
  void setLaneRender(bool on) { laneRender_ = on; }
  bool laneRender() const { return laneRender_; }
  CvoiceLanes& lanes() { return lanes_; }

  int activeVoiceCount() const { return activeCount_; }
  // The active voice count as of the last block: for the editor's readout (any thread).
  int voicesInUse() const { return voicesInUse_.load(std::memory_order_relaxed); }
  int voiceCount() const { return voiceCount_; }
  int sampleRate() const { return sampleRate_; }
  float controlRate() const { return controlRate_; }
  std::int32_t tickPeriod() const { return tickPeriod_; }
  float outputScale() const { return outputScale_; }
  bool busy() const { return busy_.load(std::memory_order_relaxed) > 0; }
  std::int32_t controllerValue(int index) const { return controllers_[slotOf(index)]; }

  Ckv_soundMan& soundMan() { return soundMan_; }
  const Ckv_soundMan& soundMan() const { return soundMan_; }
  CMidiParser& parser() { return parser_; }
  Cdoc& chip() { return *doc_; }

  // A view of one voice for tests and the editor's display.
  struct VoiceView {
    bool active, released, gliding;
    int note, program, waitingNote;
    std::uint32_t age, waitingCounter;
    std::int32_t heldBend;
  };
  VoiceView voice(int n) const;
  const std::array<std::int16_t, 4>& heldNotes() const { return held_; }
  const std::array<std::int16_t, 4>& playedNotes() const { return played_; }

 private:
  struct EditorEvent {
    enum Kind : std::uint8_t { Note, Panic } kind = Note;
    std::uint8_t channel = 0, note = 0, velocity = 0;
  };
  void playEditorEvents();
  void programChange(int program);
  void learnedController(const ControllerBinding& binding, int value);

  struct ModSlot {
    const std::int32_t* source = nullptr;
    std::int32_t amount = 0;
    // Source values reach 32 bits and amounts 16 (a hostile chunk), so the product needs 64.
    std::int64_t product() const { return std::int64_t{*source} * amount; }
  };
  // What a voice start needs: the note, the sound it plays and which parts start afresh.
  struct VoiceStart {
    const ProgramRecord* sound = nullptr;
    int program = 0;
    int note = 0;
    int glideFrom = -1;  // negative: no glide source
    int velocity = 0;
    NoteParams params{};      // all 0 for a note that came without them
    bool restart = true;      // filter state and amplifier smoothing afresh (off for a mono legato note)
    bool oscRestart = false;  // the oscillators start their tables from the beginning (REST.OSC)
    bool envRestart = true;   // the envelopes and LFOs start again
  };
  struct WaitingNote {
    std::uint32_t counter = 0;  // 0: no note waiting
    VoiceStart start;
  };
  struct Voice {
    int number = 0;
    bool active = false;
    std::int32_t startDelay = 0;
    std::uint32_t age = 0;
    std::uint8_t note = 255;
    bool released = false;
    std::int32_t program = 0;
    const ProgramRecord* sound = nullptr;
    std::int32_t tickCountdown = 0;
    // The voice's modules, held in the voice itself (the filter is set to the engine's rate
    // at construction).
    Ckv_lfo lfo[4]{Ckv_lfo(kControlRate), Ckv_lfo(kControlRate), Ckv_lfo(kControlRate), Ckv_lfo(kControlRate)};
    Ckv_env env[4]{Ckv_env(kControlRate), Ckv_env(kControlRate), Ckv_env(kControlRate), Ckv_env(kControlRate)};
    CfilterKV filter{44100.0f};
    Camp amp;
    Cmod_foll follower{kControlRate};
    bool gliding = false;
    std::int32_t glideBaseNote = 0;
    std::int32_t heldBend = 0;
    bool am = false;
    ModSlot pitch[3][2], level[3][2], cutoff[2], outLevel, outPan, lfoDepth[4], matrix[3][4];
    std::array<std::int32_t, 16> local{};
    std::int32_t volumeFactor = 0, panOffset = 0, pan = 0, bendRange = 0, bendMode = 0, filterKeyAmount = 0;
    std::int16_t tag = 0;  // NoteParams::tag
    bool firstTick = false;
    WaitingNote waiting;
  };

  // Voice management (plugNotes.cpp).
  void noteOn(int note, int velocity, const NoteParams* params, int program, const ProgramRecord* sound);
  void noteOff(int note, int program, const ProgramRecord& sound);
  int allocateVoice() const;
  void startOrQueue(Voice& v, const ProgramRecord* sound, int program, int note, int glideFrom, int velocity,
                    const NoteParams* params);
  void voiceStart(Voice& v, const VoiceStart& start);
  void legatoReturn(Voice& v, int note);
  void releaseVoice(Voice& v);
  void endVoice(Voice& v);
  void resolveSlots(Voice& v, const ProgramRecord& p);
  ModSlot slot(Voice& v, int selector, int amount);
  void pushNote(std::array<std::int16_t, 4>& list, int note);
  void removeHeld(int note);

  // Render (plugCore.cpp).
  bool sampleHead(Voice& v);
  void renderScalar(bool replace, float* left, int frames, float* right);
  void renderLanes(bool replace, float* left, int frames, float* right);
  void controlTick(Voice& v);
  bool followsWheel(const Voice& v) const;
  void resetVoices();
  void resetState();

  int voiceCount_ = kMaxVoices;
  std::array<Voice, kMaxVoices> voices_;
  std::array<Voice*, kMaxVoices> active_{};  // in order of voice start; the voice knows its number
  int activeCount_ = 0;
  std::array<std::int16_t, 4> played_{-1, -1, -1, -1};
  std::array<std::int16_t, 4> held_{-1, -1, -1, -1};
  float outputScale_ = 1.0f;
  int sampleRate_ = 44100;
  float samplesPerTick_ = 0.0f;
  float controlRate_ = kControlRate;
  std::int32_t tickPeriod_ = 0;
  std::atomic<int> busy_{0};
  std::atomic<std::uint32_t> renders_{0};  // entries and exits of render (wraps harmlessly)
  SpscQueue<EditorEvent, kEditorQueueSize> editorEvents_;
  std::atomic<int> voicesInUse_{0};
  // The channel-wide values, stored at index + 1: slot 0 is the constant zero of index -1, then
  // controllers 0..127, channel pressure (128) and pitch bend (129).
  static std::size_t slotOf(int controllerIndex) { return static_cast<std::size_t>(controllerIndex + 1); }
  static constexpr std::size_t kPitchBendSlot = CMidiParser::kPitchBendIndex + 1;
  std::array<std::int32_t, kPitchBendSlot + 1> controllers_{};
  Ckv_soundMan soundMan_;
  MidiLearn midiLearn_;
  std::atomic<bool> programChangeSelects_{false};
  std::atomic<bool> stateJustRestored_{false};
  std::atomic<std::uint32_t> soundChanges_{0};
  CMidiParser parser_;
  std::unique_ptr<Cdoc> doc_;
  std::array<int, kMaxVoices> finished_{};
  CvoiceLanes lanes_;
  bool laneRender_ = true;
};

}  // namespace korvo
