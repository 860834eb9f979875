// Runs the built vsthost (natively or under Wine) and collects its "key=value" answers.
#pragma once

#include <map>
#include <string>
#include <vector>

struct HostRun {
  int exitCode = -1;
  std::string out;  // standard output
  std::string err;  // standard error
  std::map<std::string, std::string> values;
  std::string value(const std::string& key) const;
};

// KORVO_TEST_* from the environment (see tests/integration/CMakeLists.txt).
std::string testEnv(const char* name);
bool underWine();

// vsthost with the given arguments and then the plug-in path.
HostRun runHost(const std::vector<std::string>& args, const std::string& plugin = testEnv("KORVO_TEST_PLUGIN"));

// Any program with the given arguments (under Wine for the Windows builds), its settings kept in
// `configHome` (XDG_CONFIG_HOME).
HostRun runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& configHome);
