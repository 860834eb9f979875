// What the editor window needs of the engine. The window sits above the sound layer and below the
// plug-in object, so it reaches the engine through this interface; the plug-in implements it.
// Every function is called on the window's thread.
#pragma once

#include <functional>
#include <string>

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
};

}  // namespace korvo
