// vsthost --editor: the plug-in's editor in a top-level window of the host's own, with the audio
// rendered in real time on a thread of its own, so that what the editor plays (its on-screen
// keyboard) can be heard without a DAW.
#pragma once

#include <string>
#include <vector>

#include "DAEffectX.h"

namespace korvo::host {

struct EditorSessionOptions {
  int block = 512;
  float rate = 44100.0f;
  double seconds = -1.0;  // <= 0: until the window is closed (or SIGINT/SIGTERM)
  int idleMs = 40;        // effEditIdle period, as hosts do
  bool play = true;       // through the sound card when there is one
  int cycles = 0;         // Windows: open and close the editor this often first (--editor-cycles)
};

struct EditorSessionResult {
  int exitCode = 0;
  std::vector<float> left, right;  // everything rendered, for --out
};

// Prints key=value lines: editor.window (the top-level window id, as soon as it is shown),
// audio.device, and at the end host.keys (key presses that reached the host's window, that is
// the ones the editor let through) and render.frames.
EditorSessionResult runEditorSession(vst::AEffect* effect, const EditorSessionOptions& options, bool record);

}  // namespace korvo::host
