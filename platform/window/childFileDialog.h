// The system's file dialog on Linux desktops: zenity, or kdialog where zenity is missing, run as
// a program of its own. Nothing here waits: the program is started, its answer is read from a
// pipe whenever the editor idles, and a dialog still open when the editor closes is killed and
// reaped. Where neither program is there (or KORVO_FILE_DIALOG=drawn), the drawn dialog stays.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host.h"

namespace korvo {

struct DialogProgram {
  enum class Kind { Zenity, KDialog };
  Kind kind = Kind::Zenity;
  std::string path;  // absolute
};

// The program to use, looked up on PATH each time (so installing one needs no restart).
// KORVO_FILE_DIALOG chooses: "drawn" never uses one, "zenity" or "kdialog" only that one; unset
// or anything else tries zenity, then kdialog. None without a display (DISPLAY unset).
std::optional<DialogProgram> findDialogProgram();

// The program's arguments (without the program itself): the title, the start folder (and the
// proposed name when saving), the filter's patterns in both cases, save mode with a question
// before an existing file is replaced, and the window the dialog belongs to (0: none).
std::vector<std::string> dialogArguments(const DialogProgram& program, const FileDialogRequest& request,
                                         unsigned long transientFor);

class ChildFileDialog {
 public:
  // Starts the program with its output on a pipe; null when it cannot be started.
  static std::unique_ptr<ChildFileDialog> start(const std::string& program, const std::vector<std::string>& args);
  // A program still running is killed and reaped.
  ~ChildFileDialog();
  ChildFileDialog(const ChildFileDialog&) = delete;
  ChildFileDialog& operator=(const ChildFileDialog&) = delete;

  enum class State { Running, Answered, Failed };
  // Reads what has arrived and looks whether the program has ended; never waits. Answered: the
  // user chose a file or cancelled (answer() empty). Failed: the program ended with an error of
  // its own (no display, an option it does not know, killed): the caller shows the drawn one.
  State poll();
  const std::string& answer() const { return answer_; }
  pid_t pid() const { return pid_; }

 private:
  ChildFileDialog(pid_t pid, int out) : pid_(pid), out_(out) {}
  void drain();
  State finish(bool statusKnown, int status);
  pid_t pid_;
  int out_;
  std::string output_;
  std::string answer_;
  State state_ = State::Running;
};

}  // namespace korvo
