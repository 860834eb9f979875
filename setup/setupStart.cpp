#include "setupStart.h"

#include <cstdio>
#include <utility>

#include "settingsStore.h"

namespace korvo::setup {

int reportCommandLineError(const CommandLine& line) {
  std::fprintf(stderr, "korvinst: %s\n", line.error.c_str());
  return 2;
}

SystemSetup::SystemSetup(const CommandLine& line, SetupMessages& interactive, std::string pluginFile)
    : store(createSystemSettingsStore()),
      env{files, *store, line.unattended ? static_cast<SetupMessages&>(unattended) : interactive, programFolder(),
          std::move(pluginFile)} {
  env.clapFolder = defaultClapFolder();
  env.installVst2 = !line.noVst2;
  env.installClap = clapOffered(env) && !line.noClap;
}

SystemSetup::~SystemSetup() = default;

}  // namespace korvo::setup
