// TMusicKeysSimple: an on-screen piano keyboard for a range of MIDI notes. Plays notes with the
// mouse (glissando while the button is held and moved) and with the computer keyboard (two
// rows of letter keys as a piano), shows the name of the note under the pointer in a label at
// its top-left corner and a caption at its top-right, and reports note-on and note-off.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "control.h"

namespace korvo {

using TMusKey_NotifyNote = std::function<void(Control& sender, int note)>;

class TMusicKeysSimple : public Control {
 public:
  // KeyAt's answer for a point on no key.
  static constexpr int kNoNote = 255;

  struct Key {
    Rect upper;  // the whole key for a black key
    Rect lower;  // white keys only: the wide part below the black keys
    bool black = false;
    bool held = false;
    bool repaint = false;
    bool sounding = false;
  };

  TMusicKeysSimple();

  TMusKey_NotifyNote OnNoteOn;
  TMusKey_NotifyNote OnNoteOff;

  bool keybPlayOnFocus = false;
  int lowestKey() const { return lowest_; }
  int highestKey() const { return highest_; }
  void setLowestKey(int k);
  void setHighestKey(int k);
  int keyWidth() const { return keyWidth_; }
  void setKeyWidth(int w);
  bool multiTrigger = true;
  TColor colKeyboardBG = 0, colWhiteKeys = 0xFFFFFF, colBlackKeys = 0, colWhiteHeldKeys = 0xFFFF00,
         colBlackHeldKeys = 0x808000, colLabelBG = 0, colKeyLabel = 0xFFFFFF, colCaption = 0xFFFF00;
  std::string caption;
  double blackKeyFacWidth() const { return facW_; }
  double blackKeyFacHeight() const { return facH_; }
  void setBlackKeyFacWidth(double f);
  void setBlackKeyFacHeight(double f);
  // Label and caption font; the keys start below the label.
  void setFont(const Font& f);
  // Swaps the roles of Y and Z (keyboards with Z in the bottom row).
  bool layoutVariant = false;
  int baseOctave = 3;

  void PlayNote(int note);
  void ReleaseNote(int note);
  void SetComputerKeyPlay(bool on) { keyPlay_ = on; }
  bool computerKeyPlay() const { return keyPlay_; }
  int KeyAt(int x, int y) const;
  // The note a key code plays (letters upper case, digits, ',' 44, '.' 46), or kNoNote.
  int NoteOfKey(int keyCode) const;

  const Key& key(int note) const { return keys_[static_cast<std::size_t>(note)]; }
  int keysTop() const { return top_; }
  int whiteHeight() const { return 6 * keyWidth_; }
  const std::string& labelText() const { return label_; }

  void paint(Canvas& canvas) override;
  void mouseDown(const MouseEvent& e) override;
  void mouseMove(const MouseEvent& e) override;
  void mouseUp(const MouseEvent& e) override;
  void keyDown(int key, ShiftState shift) override;
  void keyUp(int key, ShiftState shift) override;
  void focusChanged(bool gained) override;

 private:
  enum class Drag { None, Left, Other };
  void layout();
  void markAll();
  std::array<Key, 128> keys_{};
  int lowest_ = 0;
  int highest_ = 127;
  int keyWidth_ = 9;
  double facW_ = 0.72;
  double facH_ = 0.618;
  int top_ = 13;
  int left_ = 0;
  int labelHeight_ = 12;
  bool keyPlay_ = false;
  Drag drag_ = Drag::None;
  int pressedNote_ = kNoNote;
  int currentNote_ = kNoNote;
  std::string label_ = "----";
  Image keysImage_;
  bool fullRepaint_ = true;
};

}  // namespace korvo
