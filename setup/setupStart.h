// The start both front ends of korvinst share: a command line that is not understood ends the
// program with status 2, else the installation runs against the system's file system and
// settings store, with the front end's own messages or, in the unattended mode, one line each on
// stderr.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "setupFileSystem.h"
#include "uSetup.h"

namespace korvo::setup {

// Writes the command line's error to stderr and returns the exit status for it.
int reportCommandLineError(const CommandLine& line);

struct SystemSetup {
  // `interactive` answers unless the command line asks for the unattended mode; it must outlive
  // the setup.
  SystemSetup(const CommandLine& line, SetupMessages& interactive, std::string pluginFile);
  SystemSetup(const SystemSetup&) = delete;
  SystemSetup& operator=(const SystemSetup&) = delete;
  ~SystemSetup();

  SystemFileSystem files;
  std::unique_ptr<SettingsStore> store;
  UnattendedMessages unattended{stderr};
  SetupEnvironment env;
};

}  // namespace korvo::setup
