#include "standalone.h"

namespace korvo {

Standalone::Standalone(const StandaloneSettings& choice, InstanceEnvironment environment) : choice_(choice) {
  // A program on its own has no host that expects program changes dropped.
  environment.programChangeDefault = true;
  std::string why;
  audio_ = openAudioOutput(choice_.audio, why);
  const int rate = audio_ ? audio_->sampleRate() : (choice_.audio.rate > 0 ? choice_.audio.rate : kSilentRate);
  instance_ = std::make_unique<CplugInstance>(rate, std::move(environment));
  synth_ = std::make_unique<SynthProcess>(*instance_);
  startDevices(why);
}

Standalone::~Standalone() { stopDevices(); }

void Standalone::apply(const StandaloneSettings& choice) {
  stopDevices();
  choice_ = choice;
  std::string why;
  audio_ = openAudioOutput(choice_.audio, why);
  if (audio_) instance_->setSampleRate(audio_->sampleRate());
  startDevices(why);
}

void Standalone::startDevices(std::string why) {
  if (audio_ && !audio_->start(*synth_)) {
    why = audio_->description() + " did not start";
    audio_.reset();
  }
  audioStatus_ = audio_ ? "Audio: " + audio_->description() : "Audio: none (" + why + ")";
  std::string midiWhy;
  midi_ = openMidiInputs(choice_.midiIn, *synth_, midiWhy);
  midiStatus_ = "MIDI: " + (midi_ ? midi_->description() : midiWhy);
}

void Standalone::stopDevices() {
  midi_.reset();
  if (audio_) audio_->stop();
  audio_.reset();
}

}  // namespace korvo
