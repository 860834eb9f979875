#include "childFileDialog.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "fileDialog.h"

extern char** environ;

namespace korvo {

namespace {

// A path is at most a few KiB; a program that writes more is not answering with one.
constexpr std::size_t kMaxOutput = 64 * 1024;

std::string onPath(const char* name) {
  const char* path = std::getenv("PATH");
  if (!path || !*path) return {};
  std::string dirs = path;
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string dir = dirs.substr(start, end - start);
    start = end + 1;
    if (dir.empty() || dir[0] != '/') continue;  // a relative entry would depend on the host's folder
    const std::string candidate = dir + "/" + name;
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return {};
}

std::optional<DialogProgram> lookUp(DialogProgram::Kind kind) {
  std::string path = onPath(kind == DialogProgram::Kind::Zenity ? "zenity" : "kdialog");
  if (path.empty()) return std::nullopt;
  return DialogProgram{kind, std::move(path)};
}

std::string descriptionOf(const std::string& filter) { return filter.substr(0, filter.find('|')); }

// GTK and Qt match patterns case-sensitively; the drawn dialog does not: offer both spellings.
std::vector<std::string> patternsOf(const std::string& filter) {
  std::vector<std::string> patterns;
  for (const std::string& ext : filterExtensions(filter)) {
    std::string upper = ext;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    patterns.push_back("*" + upper);
    if (upper != ext) patterns.push_back("*" + ext);
  }
  return patterns;
}

std::string joined(const std::vector<std::string>& parts) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : " ") + p;
  return s;
}

}  // namespace

std::optional<DialogProgram> findDialogProgram() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return std::nullopt;
  const char* choice = std::getenv("KORVO_FILE_DIALOG");
  const std::string c = choice ? choice : "";
  if (c == "drawn") return std::nullopt;
  if (c == "zenity") return lookUp(DialogProgram::Kind::Zenity);
  if (c == "kdialog") return lookUp(DialogProgram::Kind::KDialog);
  if (auto z = lookUp(DialogProgram::Kind::Zenity)) return z;
  return lookUp(DialogProgram::Kind::KDialog);
}

std::vector<std::string> dialogArguments(const DialogProgram& program, const FileDialogRequest& request,
                                         unsigned long transientFor) {
  const std::string title = !request.title.empty() ? request.title : request.save ? "Save As" : "Open";
  std::string start = request.folder;
  if (request.save && !request.fileName.empty())
    start = (start.empty() ? std::string() : start + "/") + request.fileName;
  const std::vector<std::string> patterns = patternsOf(request.filter);
  std::vector<std::string> args;
  if (program.kind == DialogProgram::Kind::Zenity) {
    args = {"--file-selection", "--title=" + title};
    if (request.save) {
      args.push_back("--save");
      args.push_back("--confirm-overwrite");
    }
    // A folder given with a slash at its end opens in it, with no name proposed.
    if (!start.empty()) args.push_back("--filename=" + (start == request.folder ? start + "/" : start));
    if (!patterns.empty()) args.push_back("--file-filter=" + descriptionOf(request.filter) + " | " + joined(patterns));
    if (transientFor) {
      args.push_back("--modal");
      args.push_back("--attach=" + std::to_string(transientFor));
    }
  } else {
    args = {"--title", title};
    if (transientFor) {
      args.push_back("--attach");
      args.push_back(std::to_string(transientFor));
    }
    // kdialog's own save dialog asks before it replaces a file.
    args.push_back(request.save ? "--getsavefilename" : "--getopenfilename");
    args.push_back(start.empty() ? "." : start);
    if (!patterns.empty()) args.push_back(joined(patterns) + "|" + descriptionOf(request.filter));
  }
  return args;
}

std::unique_ptr<ChildFileDialog> ChildFileDialog::start(const std::string& program,
                                                        const std::vector<std::string>& args) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return nullptr;
  // Only our end waits for nothing; the program writes to a plain pipe.
  fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
  // GTK and Qt chatter on stderr; the host's log is not the place for it.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // The host's own descriptors (sound card, sockets) opened without close-on-exec stay with it.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  // Whatever the host blocks or ignores, the dialog gets the default signal handling, so that
  // it can be killed and its end reported.
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return nullptr;
  }
  return std::unique_ptr<ChildFileDialog>(new ChildFileDialog(pid, fds[0]));
}

ChildFileDialog::~ChildFileDialog() {
  if (state_ == State::Running && pid_ > 0) {
    // The editor is going: the dialog has nobody left to answer. SIGKILL ends it at once, so the
    // wait is short.
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  if (out_ >= 0) close(out_);
}

void ChildFileDialog::drain() {
  if (out_ < 0) return;
  char buf[4096];
  for (;;) {
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n > 0) {
      if (output_.size() < kMaxOutput) output_.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) {  // the program closed its output
      close(out_);
      out_ = -1;
    }
    return;  // EAGAIN: nothing more for now
  }
}

ChildFileDialog::State ChildFileDialog::poll() {
  if (state_ != State::Running) return state_;
  drain();
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == 0) return state_;
  if (r < 0 && errno == EINTR) return state_;
  // ECHILD: the host reaps its children itself (or ignores SIGCHLD); the program has ended, only
  // its status is unknown.
  drain();  // what it wrote just before it ended
  return finish(r == pid_, status);
}

ChildFileDialog::State ChildFileDialog::finish(bool statusKnown, int status) {
  std::string line = output_.substr(0, output_.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const bool ok = !statusKnown || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const bool cancelled = statusKnown && WIFEXITED(status) && WEXITSTATUS(status) == 1;
  answer_.clear();
  if (ok) {
    // Only a whole absolute path is taken; anything else counts as no choice.
    if (output_.size() < kMaxOutput && !line.empty() && line[0] == '/') answer_ = line;
    state_ = State::Answered;
  } else {
    state_ = cancelled ? State::Answered : State::Failed;
  }
  return state_;
}

}  // namespace korvo
