#include "hostRunner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

std::string HostRun::value(const std::string& key) const {
  auto it = values.find(key);
  return it == values.end() ? "<missing " + key + ">" : it->second;
}

std::string testEnv(const char* name) {
  if (const char* v = std::getenv(name)) return v;
  static const std::map<std::string, std::string> config = [] {
    std::map<std::string, std::string> c;
    const char* path = std::getenv("KORVO_TEST_CONFIG");
    std::ifstream in(path ? path : "");
    std::string line;
    while (std::getline(in, line)) {
      auto eq = line.find('=');
      if (eq != std::string::npos) c[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return c;
  }();
  auto it = config.find(name);
  return it == config.end() ? "" : it->second;
}

bool underWine() { return !testEnv("KORVO_TEST_RUNNER").empty(); }

namespace {
std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}
std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
}  // namespace

HostRun runHost(const std::vector<std::string>& args, const std::string& plugin) {
  // Each test process keeps its settings in its own folder, never in the user's.
  static const std::string config = [] {
    char dir[] = "/tmp/korvo-it-config-XXXXXX";
    return std::string(mkdtemp(dir) ? dir : "/tmp");
  }();
  std::vector<std::string> all = args;
  if (!plugin.empty()) all.push_back(plugin);
  return runProgram(testEnv("KORVO_TEST_VSTHOST"), all, config);
}

HostRun runProgram(const std::string& program, const std::vector<std::string>& args, const std::string& configHome) {
  std::string cmd = "env XDG_CONFIG_HOME=" + quote(configHome) + " ";
  if (underWine())
    cmd += "WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' WINEPREFIX=" + quote(testEnv("KORVO_TEST_WINEPREFIX")) +
           " " + quote(testEnv("KORVO_TEST_RUNNER")) + " ";
  cmd += quote(program);
  for (const auto& a : args) cmd += " " + quote(a);
  char errPath[] = "/tmp/korvo-host-err-XXXXXX";
  int fd = mkstemp(errPath);
  if (fd >= 0) close(fd);
  cmd += " 2>" + quote(errPath);

  HostRun run;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) run.out.append(buf, n);
    int status = pclose(p);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  run.err = slurp(errPath);
  std::remove(errPath);
  std::istringstream lines(run.out);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto eq = line.find('=');
    if (eq != std::string::npos) run.values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return run;
}
