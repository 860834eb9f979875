// The standalone program's instrument: one instance with its sound output and MIDI inputs. The
// devices can be changed while it runs (apply); the instance, its sounds and its editor stay.
#pragma once

#include <memory>
#include <string>

#include "audioOutput.h"
#include "midiInputs.h"
#include "plugInstance.h"
#include "standaloneSettings.h"
#include "synthProcess.h"

namespace korvo {

class Standalone {
 public:
  // main thread. Opens the devices `choice` names (the instance runs at the output's rate, with
  // program change on until the user chooses) and starts playing; a device that cannot be opened
  // leaves Korvo silent, and the status says so.
  Standalone(const StandaloneSettings& choice, InstanceEnvironment environment);
  // main thread. Sound and MIDI stop first; then the instance writes its backup and settings.
  ~Standalone();
  Standalone(const Standalone&) = delete;
  Standalone& operator=(const Standalone&) = delete;

  // main thread. Stops the sound, opens what `choice` names and starts again at its rate.
  void apply(const StandaloneSettings& choice);

  CplugInstance& instance() { return *instance_; }
  const StandaloneSettings& choice() const { return choice_; }
  bool audioOpen() const { return audio_ != nullptr; }
  const std::string& audioStatus() const { return audioStatus_; }
  const std::string& midiStatus() const { return midiStatus_; }
  // Both in one line for the editor's status line.
  std::string statusLine() const { return audioStatus_ + "; " + midiStatus_; }

 private:
  // Starts the output opened (or says why there is none) and opens the MIDI inputs.
  void startDevices(std::string why);
  void stopDevices();

  static constexpr int kSilentRate = 48000;  // the instance's rate while no output is open

  StandaloneSettings choice_;
  std::unique_ptr<AudioOutput> audio_;
  std::unique_ptr<CplugInstance> instance_;
  std::unique_ptr<SynthProcess> synth_;
  std::unique_ptr<MidiInputs> midi_;
  std::string audioStatus_, midiStatus_;
};

}  // namespace korvo
