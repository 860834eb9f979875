// What the UI shows a host that offers no instance-access, instead of the editor: a plain X11
// child window of the host's with a note saying why.
#pragma once

#include <memory>

namespace korvo::lv2 {

class NoteWindow {
 public:
  explicit NoteWindow(unsigned long parent);
  ~NoteWindow();
  NoteWindow(const NoteWindow&) = delete;
  NoteWindow& operator=(const NoteWindow&) = delete;

  // 0 when there is no display.
  unsigned long window() const;
  // Draws the note when the window was exposed.
  void idle();

  static constexpr int kWidth = 560;
  static constexpr int kHeight = 90;

 private:
  struct X11;
  std::unique_ptr<X11> x_;
};

}  // namespace korvo::lv2
