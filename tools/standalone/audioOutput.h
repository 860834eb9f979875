// The standalone's sound: an audio output that calls a SynthProcess on its own real-time thread.
// Linux: a JACK client, else an ALSA PCM device. Windows: WASAPI shared mode, else WinMM. An
// output that cannot be opened is no error of the program: it says why and Korvo runs silent.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace korvo {

class SynthProcess;

// What the user asked for. `device` empty: the system's first choice (JACK when a server runs,
// else the default PCM device; on Windows the default endpoint). Rate and block 0: the device's
// own (JACK always decides both itself).
struct AudioRequest {
  std::string device;
  int rate = 0;
  int block = 0;
  bool operator==(const AudioRequest&) const = default;
};

class AudioOutput {
 public:
  virtual ~AudioOutput() = default;
  virtual int sampleRate() const = 0;
  virtual int blockSize() const = 0;
  // One line for the status line and standard error, e.g. "JACK (Korvo) 48000 Hz, 256 frames".
  virtual std::string description() const = 0;
  // Starts calling `synth` (which must outlive stop()); false when the device refused.
  virtual bool start(SynthProcess& synth) = 0;
  // When it returns, `synth` is not called any more.
  virtual void stop() = 0;
};

// Opens the output asked for (not started: the synthesizer is made at its rate first). Null when
// nothing could be opened; `report` then says what was tried.
std::unique_ptr<AudioOutput> openAudioOutput(const AudioRequest& request, std::string& report);

// The devices `--device` and the dialog offer ("jack" when a server runs, then the PCM devices).
std::vector<std::string> audioDeviceNames();

}  // namespace korvo
