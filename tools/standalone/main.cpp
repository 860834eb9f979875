// korvo / Korvo.exe: the instrument on its own, with its editor in a window of its own, sound
// through JACK or ALSA (WASAPI or WinMM on Windows) and the system's MIDI inputs.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <pthread.h>
#include <signal.h>
#endif

#include "audioDialog.h"
#include "builtInData.h"
#include "commandLine.h"
#include "editorWindow.h"
#include "settingsStore.h"
#include "standalone.h"
#include "topWindow.h"

using namespace korvo;

namespace {

constexpr const char* kUsage =
    "usage: korvo [--device NAME] [--rate HZ] [--block N] [--midi-in NAME] [--no-gui]\n"
    "       korvo --list-devices | --help\n"
    "\n"
    "Plays Korvo with its editor in a window of its own, or without one (--no-gui) until it is\n"
    "ended with Ctrl+C or SIGTERM. Sounds, settings and the program memory are the plug-in's.\n"
    "  --device NAME   the sound output: 'jack', or an ALSA PCM device such as 'default' or 'hw:0'\n"
    "                  (Windows: 'wasapi', 'winmm' or the name of an output); the stored choice,\n"
    "                  else JACK when a server runs, else the system's default device\n"
    "  --rate HZ       the sample rate (JACK uses its own)\n"
    "  --block N       frames per block (JACK uses its own)\n"
    "  --midi-in NAME  only the MIDI inputs whose name contains NAME (default: all)\n"
    "  --list-devices  lists the sound outputs and MIDI inputs and ends\n"
    "The choices made on the command line last for this run; Options > \"Audio and MIDI...\" in the\n"
    "editor stores them.\n";

std::atomic<bool> g_stop{false};

#if defined(_WIN32)
BOOL WINAPI onConsoleEvent(DWORD) {
  g_stop = true;
  return TRUE;
}
#else
extern "C" void onSignal(int) { g_stop = true; }
#endif

int listDevices() {
  std::printf("Audio outputs:\n");
  for (const std::string& d : audioDeviceNames()) std::printf("  %s\n", d.c_str());
  std::printf("MIDI inputs:\n");
  for (const std::string& d : midiInputNames()) std::printf("  %s\n", d.c_str());
  return 0;
}

void say(const std::string& line) {
  std::fprintf(stderr, "korvo: %s\n", line.c_str());
  std::fflush(stderr);
}

// The editor in a top-level window "Korvo", at the scale a host would give it, until the window
// is closed or a signal arrives.
int runWindow(Standalone& app, SettingsStore& store) {
  std::string error;
  auto top = TopWindow::create("Korvo", TplugEditForm::kWidth, TplugEditForm::kHeight, error);
  if (!top) {
    say("no window: " + error + " (--no-gui plays without one)");
    return 1;
  }
  auto editor = std::make_unique<EditorWindow>(top->parentHandle(), app.instance(), platformWindowHosts());
  auto fit = [&] {
    top->resize(scaleCoord(TplugEditForm::kWidth, editor->scale()),
                scaleCoord(TplugEditForm::kHeight, editor->scale()));
  };
  editor->setScale(resolveEditorScale(app.instance().settings().editorScale, 0, editor->systemScale()));
  fit();
  editor->onScaleChosen = [&](int) { fit(); };
  editor->onSystemScaleChanged = [&] {
    if (validEditorScale(app.instance().settings().editorScale)) return;
    editor->setScale(resolveEditorScale(0, 0, editor->systemScale()));
    fit();
  };
  AudioDialogRunner dialog(editor->form(), app, store, say);
  editor->addOptionsCommand("Audio and MIDI...", [&] { dialog.open(); });
  editor->show();
  editor->form().SetStatusText(app.statusLine());
  top->show();
  say("window " + std::to_string(top->id()));
  while (!g_stop && top->pump(20)) editor->idle();
  editor.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // A window program has no console of its own: its messages go to the console it was started
  // from, if any (a shell that redirects them has given it handles already).
  if (!GetStdHandle(STD_ERROR_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
  }
#endif
  bool list = false, noGui = false;
  std::string device, midiIn;
  int rate = 0, block = 0;
  bool deviceGiven = false, midiGiven = false;
  tools::CommandLine cl;
  cl.help({"--help", "-h"})
      .flag({"--list-devices"}, list)
      .flag({"--no-gui"}, noGui)
      .option({"--device"},
              [&](const std::string& v) {
                device = v;
                deviceGiven = true;
              })
      .option({"--midi-in"},
              [&](const std::string& v) {
                midiIn = v;
                midiGiven = true;
              })
      .option({"--rate"}, rate)
      .option({"--block"}, block);
  std::string error;
  if (!cl.parse(argc, argv, error)) {
    if (error.empty()) {
      std::printf("%s", kUsage);
      return 0;
    }
    return tools::usageError("korvo", error, kUsage);
  }
  if (rate != 0 && !validSampleRate(rate)) return tools::usageError("korvo", "--rate must be 8000..384000", kUsage);
  if (block != 0 && !validBlockSize(block)) return tools::usageError("korvo", "--block must be 16..8192", kUsage);
  if (list) return listDevices();

    // Signals reach the main thread only: blocked here, before any thread is made, so that every
    // thread inherits the mask; the main thread takes them while it waits.
#if defined(_WIN32)
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
  sigset_t signals, before;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, &before);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif

  std::shared_ptr<SettingsStore> store(createSystemSettingsStore());
  StandaloneSettings choice = readStandaloneSettings(*store);
  if (deviceGiven) choice.audio.device = device;
  if (rate) choice.audio.rate = rate;
  if (block) choice.audio.block = block;
  if (midiGiven) choice.midiIn = midiIn;

  InstanceEnvironment env = withBuiltInData();
  env.settingsStore = store;
  int status = 0;
  {
    Standalone app(choice, env);
    say(app.audioStatus());
    say(app.midiStatus());
    say(app.instance().waveRomDescription());
#if !defined(_WIN32)
    if (noGui) {
      say("playing; SIGTERM or Ctrl+C ends");
      while (!g_stop) sigsuspend(&before);
    } else {
      pthread_sigmask(SIG_SETMASK, &before, nullptr);
      status = runWindow(app, *store);
    }
#else
    if (noGui) {
      say("playing; Ctrl+C ends");
      while (!g_stop) Sleep(50);
    } else {
      status = runWindow(app, *store);
    }
#endif
    say("closing");
  }  // the instance writes the backup and the settings here
  say("closed");
  return status;
}
