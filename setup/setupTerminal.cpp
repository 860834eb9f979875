// korvinst on Linux: the setup window's steps as questions on the terminal, or the unattended
// mode (korvinst /S /D=<folder>). The folders are recorded in the plug-in's settings file.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "VSTaux.h"
#include "settingsStore.h"
#include "setupFileSystem.h"
#include "setupStart.h"
#include "uSetup.h"

using namespace korvo;
using namespace korvo::setup;

namespace {

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  return home && *home ? home : ".";
}

// The folder Linux hosts scan for VST 2 plug-ins.
std::string defaultVstFolder() { return joinPath(homeFolder(), ".vst"); }

// "~" expanded and a relative folder taken from the current one, as the shell means them: the
// settings must name absolute folders.
std::string userFolder(const std::string& path) {
  std::string p = path;
  if (p == "~")
    p = homeFolder();
  else if (p.rfind("~/", 0) == 0)
    p = joinPath(homeFolder(), p.substr(2));
  if (!p.empty() && p[0] != '/') {
    if (char* cwd = ::realpath(".", nullptr)) {
      p = joinPath(cwd, p);
      std::free(cwd);
    }
  }
  return p;
}

class TerminalMessages : public SetupMessages {
 public:
  Answer show(const std::string& text, const std::string& caption, bool question) override {
    std::printf("%s%s\n", caption.empty() ? "" : (caption + ": ").c_str(), text.c_str());
    if (!question) return Answer::Ok;
    for (;;) {
      std::printf("[OK/Cancel] (Enter = OK) ");
      std::fflush(stdout);
      std::string reply;
      if (!std::getline(std::cin, reply)) {
        std::printf("\n");
        return Answer::Cancel;
      }
      for (char& c : reply)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      if (reply.empty() || reply == "ok" || reply == "o" || reply == "y" || reply == "yes") return Answer::Ok;
      if (reply == "cancel" || reply == "c" || reply == "n" || reply == "no") return Answer::Cancel;
    }
  }
};

int runTerminal(SetupEnvironment& env, const std::string& start) {
  TForm1 form(env, start);
  std::printf("Korvo setup\n");
  if (clapOffered(env)) {
    std::printf(
        "\nplug-ins: VST 2 into the folder chosen next, CLAP into %s\n"
        "(Enter takes both, \"vst2\" or \"clap\" only that one, \"abort\" ends the setup) > ",
        env.clapFolder.c_str());
    std::fflush(stdout);
    std::string reply;
    const bool got = static_cast<bool>(std::getline(std::cin, reply));
    if (!reply.empty() && reply.back() == '\r') reply.pop_back();
    if (!got || reply == "abort") return 1;
    env.installClap = reply != "vst2";
    env.installVst2 = reply != "clap";
  }
  while (!form.closed()) {
    std::printf("\nselect vst plugins path: [%s]\n(Enter takes it, \"abort\" ends the setup) > ",
                form.pathLabel().c_str());
    std::fflush(stdout);
    std::string reply;
    const bool got = static_cast<bool>(std::getline(std::cin, reply));
    if (!reply.empty() && reply.back() == '\r') reply.pop_back();
    if (!got || reply == "abort") {
      if (reply != "abort") std::printf("\n");
      form.CancelButtonClick();
      return 1;
    }
    // A folder that was refused or not made does not become the next default: Enter would only
    // ask about it again.
    const std::string before = form.directory();
    if (!reply.empty()) form.setDirectory(userFolder(reply));
    if (form.OkButtonClick() != InstallOutcome::Installed && !env.files.isDirectory(form.directory()))
      form.setDirectory(before);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const CommandLine line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (!line.error.empty()) return reportCommandLineError(line);
  TerminalMessages terminal;
  SystemSetup system(line, terminal, "Korvo.so");
  SetupEnvironment& env = system.env;
  env.standaloneFile = "korvo";
  env.settingsFailure = "Could not write to the settings file " + systemSettingsFilePath() + ".";
  // The folder list opens the default VST folder unless /D= names another.
  const std::string start = line.folder.empty() ? defaultVstFolder() : userFolder(line.folder);
  if (line.unattended) return runUnattended(env, start);
  // The setup window on the desktop needs the toolkit's X11 host; until then the terminal asks.
  return runTerminal(env, start);
}
