// What the tests of the korvo program share: a JACK server with its dummy driver under a name of
// its own, the program as a child process whose standard error is read line by line, and
// waiting for a condition with a deadline (never a fixed time).
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace korvo::satest {

using namespace std::chrono_literals;

// Checks `done` every few milliseconds until it holds or `limit` has passed; whether it held.
inline bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

inline bool onPath(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

inline void quietJack(const char*) {}

// A client of the server `name`, or null (libjack's complaints while the server comes up unsaid).
inline jack_client_t* jackClient(const std::string& name, const char* clientName) {
  jack_set_error_function(quietJack);
  jack_status_t status{};
  return jack_client_open(clientName, static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                          name.c_str());
}

// jackd -d dummy at 48 kHz, 256 frames a period, as long as this lives.
class DummyJack {
 public:
  DummyJack() {
    static int count = 0;
    name_ = "korvo-test-" + std::to_string(getpid()) + "-" + std::to_string(++count);
    if (!onPath("jackd")) return;
    pid_ = fork();
    if (pid_ == 0) {
      const int quiet = open("/dev/null", O_WRONLY);
      dup2(quiet, 1);
      dup2(quiet, 2);
      execlp("jackd", "jackd", "-n", name_.c_str(), "-d", "dummy", "-r", "48000", "-p", "256", nullptr);
      _exit(127);
    }
    // Up once a client can join it.
    ok_ = waitFor([&] {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return true;
      }
      jack_client_t* c = jackClient(name_, "probe");
      if (c) jack_client_close(c);
      return c != nullptr;
    });
    ok_ = ok_ && pid_ > 0;
  }
  ~DummyJack() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  DummyJack(const DummyJack&) = delete;
  DummyJack& operator=(const DummyJack&) = delete;
  bool ok() const { return ok_; }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
  pid_t pid_ = -1;
  bool ok_ = false;
};

// The built korvo with `args`, its standard error in `errFile`; JACK_DEFAULT_SERVER names the
// server it joins (empty: none at all).
class KorvoProcess {
 public:
  KorvoProcess(const std::vector<std::string>& args, const std::filesystem::path& errFile,
               const std::string& jackServer)
      : err_(errFile) {
    pid_ = fork();
    if (pid_ == 0) {
      const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 2);
      dup2(fd, 1);
      setenv("JACK_DEFAULT_SERVER", jackServer.empty() ? "korvo-test-no-server" : jackServer.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(KORVO_TEST_PROGRAM)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(KORVO_TEST_PROGRAM, argv.data());
      _exit(127);
    }
  }
  ~KorvoProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_t pid() const { return pid_; }
  // The text after "korvo: <prefix>" of the first such line, once it is there ("" after the limit).
  std::string line(const std::string& prefix, std::chrono::milliseconds limit = 20s) const {
    std::string found;
    waitFor(
        [&] {
          std::ifstream in(err_);
          for (std::string l; std::getline(in, l);)
            if (l.rfind("korvo: " + prefix, 0) == 0) {
              found = l.substr(7);
              return true;
            }
          return false;
        },
        limit);
    return found;
  }
  std::string output() const {
    std::ifstream in(err_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Sends `sig` (0: none) and waits for the end: the exit status, or -1 for a death by signal or
  // no end within the limit.
  int end(int sig, std::chrono::milliseconds limit = 20s) {
    if (pid_ <= 0) return -1;
    if (sig) kill(pid_, sig);
    int st = 0;
    if (!waitFor([&] { return waitpid(pid_, &st, WNOHANG) == pid_; }, limit)) return -1;
    pid_ = -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  }
  // User plus system CPU time so far, in clock ticks.
  long long cpuTicks() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t at = text.rfind(')');
    if (at == std::string::npos) return -1;
    std::vector<std::string> fields;
    std::string f;
    for (char c : text.substr(at + 2)) {
      if (c == ' ') {
        fields.push_back(f);
        f.clear();
      } else {
        f += c;
      }
    }
    // Fields from the state on: utime is the 12th, stime the 13th.
    return fields.size() > 12 ? std::stoll(fields[11]) + std::stoll(fields[12]) : -1;
  }

 private:
  std::filesystem::path err_;
  pid_t pid_ = -1;
};

}  // namespace korvo::satest
