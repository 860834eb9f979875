// The sound manager: which program is current, selecting and writing programs, the edit buffer
// and the whole memory as byte images, and notes played from the editor.
#pragma once

#include <atomic>

#include <cstdint>

#include "progMan.h"

namespace korvo {

// Seven words handed to the engine with every note; the transposition is applied by the sound
// manager itself, the engine reads the other six.
struct NoteParams {
  std::int16_t transpose = 0;   // semitones added to the note before the engine sees it
  std::int16_t fineTune = 0;    // added to every oscillator's FINE at voice start (1/32 semitone)
  std::int16_t volume = 0;      // the voice's volume factor is volume x ENV4.AMT / 64
  std::int16_t panOffset = 0;   // added to the program's PAN
  std::int16_t tag = 0;         // kept in the voice, no effect
  std::int16_t lfoPhase = 0;    // added to every LFO's phase offset at voice start
  std::int16_t startDelay = 0;  // from 1 on: the voice waits time table[startDelay] control ticks
};
inline constexpr NoteParams kDefaultNoteParams{0, 0, 63, 0, -1, 0, 0};

// The engine's note entry, a method pointer as code plus object. Velocity 0 means note off.
struct NoteCallback {
  using Code = void (*)(void* object, int note, int velocity, const NoteParams* params, int program,
                        const ProgramRecord* sound);
  Code code = nullptr;
  void* object = nullptr;

  bool Assigned() const { return code != nullptr; }

  // Binds a member function  void T::f(int, int, const NoteParams*, int, const ProgramRecord*).
  template <class T, void (T::*Method)(int, int, const NoteParams*, int, const ProgramRecord*)>
  static NoteCallback Bind(T* target) {
    return {[](void* o, int note, int velocity, const NoteParams* params, int program, const ProgramRecord* sound) {
              (static_cast<T*>(o)->*Method)(note, velocity, params, program, sound);
            },
            target};
  }
};

inline constexpr int kBankVersion = 1;
inline constexpr int kBankHeaderSize = 20;
inline constexpr int kBankSize = kBankHeaderSize + kProgramCount * kProgramRecordSize;  // 69652

class Ckv_soundMan {
 public:
  explicit Ckv_soundMan(NoteCallback onNote = {}) : onNote_(onNote) {}
  Ckv_soundMan(const Ckv_soundMan&) = delete;
  Ckv_soundMan& operator=(const Ckv_soundMan&) = delete;

  void InitEdit() { progMan_.InitSlot(Ckv_progMan::EditSlot()); }
  // The edit buffer becomes a copy of program n with its modified flag clear.
  // A number outside 0..127 is refused (false) and changes nothing: it would otherwise copy the
  // edit buffer onto itself, clear the flag that marks unsaved edits and store a program number
  // that does not exist.
  bool SelectProgram(int n);
  // The same on the audio thread (a MIDI program change): no allocation, no lock, every word and
  // byte of the edit buffer written as one atomic store, so the editor's reads see whole values.
  // The memory itself is read as it stands: it changes only while no render runs.
  bool SelectProgramRealtime(int n);
  // Program n becomes a copy of the edit buffer; the flag is cleared. Refuses n outside 0..127.
  bool WriteProgram(int n);

  static constexpr int EditRecordSize() { return kProgramRecordSize; }
  // Refuses (false) an absent record or one whose format word is not 1; the record must hold
  // EditRecordSize() bytes.
  bool LoadEdit(const void* record);
  void SaveEdit(void* buffer);

  static constexpr int BankSize() { return kBankSize; }
  // Refuses (false) an absent buffer or a version other than 1; otherwise programs 0..127 are
  // overwritten from the BankSize() bytes, their records unchecked, and the edit buffer is marked
  // modified (its contents stay).
  bool LoadBank(const void* buffer);
  void SaveBank(void* buffer) const;

  // Calls OnNote, when assigned, with the transposed note, the fixed NoteParams, the edit slot and
  // the edit buffer. The channel is not used. Real-time safe: no allocation, no lock.
  void PlayNote(int channel, int note, int velocity);

  ProgramRecord* EditRecord() { return progMan_.EditRecord(); }
  const ProgramRecord* EditRecord() const { return progMan_.EditRecord(); }
  int CurrentProgram() const { return currentProgram_.load(std::memory_order_relaxed); }
  Ckv_progMan& ProgMan() { return progMan_; }
  const Ckv_progMan& ProgMan() const { return progMan_; }
  Ckv_progEdit& Editor() { return progMan_.Editor(); }
  bool Modified() const { return progMan_.Editor().Modified(); }

 private:
  Ckv_progMan progMan_;
  NoteCallback onNote_;
  std::atomic<std::int32_t> currentProgram_{0};
};

}  // namespace korvo
