// What the editor window needs of the engine. The window sits above the sound layer and below the
// plug-in object, so it reaches the engine through this interface; the plug-in implements it.
// Every function is called on the window's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvo {

class Ckv_soundMan;

class IEditorEngine {
 public:
  virtual ~IEditorEngine() = default;

  // The sound memory. Reading is always allowed; changes of what a render reads (the edit
  // buffer above all) go through exclusive().
  virtual Ckv_soundMan& soundMan() = 0;
  // Runs `change` while no render is in progress (a render that starts meanwhile is silent).
  virtual void exclusive(const std::function<void()>& change) = 0;

  // The on-screen keyboard (velocity 0 releases) and the panic button, played at the next block.
  virtual void playNote(int note, int velocity) = 0;
  virtual void panic() = 0;

  virtual int voicesInUse() const = 0;
  virtual int voicesAvailable() const = 0;

  // The user folder (first folder of the file dialogs) and the two pointer options, kept in the
  // settings that the engine writes back when it is destroyed.
  virtual std::string userFolder() const = 0;
  virtual bool restoreMouseMenu() const = 0;
  virtual bool restoreMouseKnob() const = 0;
  virtual void setRestoreMouseMenu(bool on) = 0;
  virtual void setRestoreMouseKnob(bool on) = 0;

  // The window size the user chose in percent (0: none, the window follows the system), kept
  // in the settings like the pointer options.
  virtual int editorScale() const { return 0; }
  virtual void setEditorScale(int) {}

  // Empty when the wave ROM came from the data folder; otherwise a line for the status text that
  // says which ROM plays (the built-in one, or none) and where the file was looked for.
  virtual std::string waveRomProblem() const = 0;

  // MIDI learn of the sound word a field edits. learnController arms the word (false when it is
  // no parameter); learningWord is the armed one until a controller took it (-1 then).
  virtual bool learnController(int word) { return (void)word, false; }
  virtual void cancelLearn() {}
  virtual int learningWord() const { return -1; }
  virtual int controllerOf(int word) const { return (void)word, -1; }
  virtual void forgetWord(int word) { (void)word; }
  struct ControllerBinding {
    int controller, word;
  };
  virtual std::vector<ControllerBinding> controllerBindings() const { return {}; }
  virtual void forgetController(int controller) { (void)controller; }
  virtual void forgetAllControllers() {}
  // The name a host shows for a word's parameter ("FILT FREQ"); empty when it is none.
  virtual std::string paramName(int word) const { return (void)word, std::string(); }

  // Options > "Program change selects a program".
  virtual bool programChangeSelects() const { return false; }
  virtual void setProgramChangeSelects(bool on) { (void)on; }

  // Counts the changes made to the edit buffer outside the window (learned controllers, program
  // changes on the audio thread); the window redraws when it moves.
  virtual std::uint32_t soundChanges() const { return 0; }
};

}  // namespace korvo
