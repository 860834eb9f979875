// X11WindowHost: the toolkit's window as a plain child of a foreign X11 window (no XEmbed).
//
// The host opens a display connection of its own, so the application around never sees its
// requests, and touches Xlib only inside pumpEvents, present, the services and the destructor,
// each of which catches the protocol errors of its own connection (a parent destroyed behind
// its back must not end the process through Xlib's default handler). Popup menus are
// override-redirect windows on the root, dialogs top-level windows transient for the host's
// window and without the window manager's frame (they draw their own); both are driven by the
// same pump: nothing blocks.
//
// Keys: the host's application keeps the keyboard. Only while the window wants keys
// (keyboardWanted, or a dialog) does a click into the window take the input focus; the focus is
// given back where it was as soon as the keys are no longer wanted.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "host.h"

namespace korvo {

// Xft.dpi of a display (the default one for null) in percent of 96 dpi; 0 when unset or when the
// display cannot be opened.
int x11SystemScale(const char* displayName = nullptr);

class X11WindowHost : public WindowHost {
 public:
  // Throws std::runtime_error when the display cannot be opened or `parent` is not a window.
  X11WindowHost(unsigned long parent, int width, int height, const char* displayName = nullptr);
  ~X11WindowHost() override;

  void pumpEvents() override;
  void present() override;
  // Resizes the child window to the scaled size (the host is asked by the plug-in).
  void setScale(int percent) override;
  // Xft.dpi of this window's own display connection.
  int systemScale() const override;

  Point windowOrigin() const override;
  Point pointerPosition() const override;
  void setPointerPosition(Point screen) override;
  MenuItem* popupMenu(PopupMenu& menu, Point screen) override;
  // The system's dialog (zenity or kdialog) as a program of its own, its answer read at each
  // pumpEvents; the drawn one where neither can be run. While it is open the editor takes no
  // clicks, as under a modal dialog.
  void fileDialog(const FileDialogRequest& request, std::function<void(const std::string&)> done) override;
  // The CLIPBOARD selection: owned by this window after a copy, asked of its owner for a paste
  // (the answer arrives at a later pumpEvents).
  void setClipboardText(const std::string& text) override;

  unsigned long window() const;
  unsigned long nativeWindow() const override { return window(); }
  // The top-level window of the i-th open dialog (0 when there is none).
  unsigned long dialogWindow(std::size_t i) const;
  // The parent (and with it this window) was destroyed before the host was.
  bool windowGone() const;
  // Whether this window holds the input focus it took on a click.
  bool holdsFocus() const;
  std::size_t openPopups() const;
  // The process id of the file dialog program while one runs, else 0.
  long fileDialogProcess() const;

 private:
  void modalOpened(Control& dialog) override;
  void modalClosing(Control& dialog) override;
  void fetchClipboardText() override;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korvo
