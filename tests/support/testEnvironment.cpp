// Linked into every test program: makes the source and build folders known to the tests through
// the environment (KORVO_SOURCE_DIR, KORVO_BINARY_DIR) unless the caller already set them, so a
// test binary started by hand behaves as under CTest.
//
// It also moves the settings of everything the test program runs (engines with the system store,
// tools it starts) into a fresh temporary folder, so no test reads or writes the settings of the
// user who runs it. The user's own configuration folder stays known as KORVO_USER_CONFIG_HOME.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {
struct TestEnvironment {
  TestEnvironment() {
#ifdef _WIN32
    if (!std::getenv("KORVO_SOURCE_DIR")) _putenv_s("KORVO_SOURCE_DIR", KORVO_TEST_SOURCE_DIR);
    if (!std::getenv("KORVO_BINARY_DIR")) _putenv_s("KORVO_BINARY_DIR", KORVO_TEST_BINARY_DIR);
#else
    setenv("KORVO_SOURCE_DIR", KORVO_TEST_SOURCE_DIR, 0);
    setenv("KORVO_BINARY_DIR", KORVO_TEST_BINARY_DIR, 0);
    if (!std::getenv("KORVO_USER_CONFIG_HOME")) {
      const char* xdg = std::getenv("XDG_CONFIG_HOME");
      const char* home = std::getenv("HOME");
      const std::string user = xdg && *xdg ? xdg : std::string(home && *home ? home : ".") + "/.config";
      setenv("KORVO_USER_CONFIG_HOME", user.c_str(), 1);
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/korvo-test-config-XXXXXX";
    if (mkdtemp(dir.data())) {
      setenv("XDG_CONFIG_HOME", dir.c_str(), 1);
      configDir = dir;
    }
#endif
  }
  ~TestEnvironment() {
    std::error_code ec;
    if (!configDir.empty()) std::filesystem::remove_all(configDir, ec);
  }
  std::string configDir;
} const testEnvironment;
}  // namespace
