// Linked into every test program: makes the source and build folders known to the tests through
// the environment (KORVO_SOURCE_DIR, KORVO_BINARY_DIR) unless the caller already set them, so a
// test binary started by hand behaves as under CTest.
#include <cstdlib>

namespace {
struct TestEnvironment {
  TestEnvironment() {
#ifdef _WIN32
    if (!std::getenv("KORVO_SOURCE_DIR")) _putenv_s("KORVO_SOURCE_DIR", KORVO_TEST_SOURCE_DIR);
    if (!std::getenv("KORVO_BINARY_DIR")) _putenv_s("KORVO_BINARY_DIR", KORVO_TEST_BINARY_DIR);
#else
    setenv("KORVO_SOURCE_DIR", KORVO_TEST_SOURCE_DIR, 0);
    setenv("KORVO_BINARY_DIR", KORVO_TEST_BINARY_DIR, 0);
#endif
  }
} const testEnvironment;
}  // namespace
