// Win32WindowHost: the toolkit's window as a child of the HWND a host hands to effEditOpen.
//
// The window class belongs to this module (registered with its own HINSTANCE under a name no
// other copy of the plug-in in the process uses, shared by all open editors and unregistered
// when the last one goes). Input arrives through the window procedure while the host runs its
// message loop; painting is a 1:1 DIB blit of the toolkit's frame. Popup menus and dialogs are
// top-level popup windows owned by the host's top-level window (a dialog draws its own frame and
// caption); nothing blocks except the system's own file dialogs.
//
// Keys: the host keeps them, except while the window wants them (keyboardWanted, a dialog or
// an open menu): then a message hook of the GUI thread takes every key-down, key-up and
// character before the host's loop sees it and hands it to the editor.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>

#include "host.h"

namespace korvo {

class Win32WindowHost : public WindowHost {
 public:
  // Throws std::runtime_error when `parent` is not a window or no window can be made in it.
  Win32WindowHost(void* parent, int width, int height);
  ~Win32WindowHost() override;

  void present() override;

  Point windowOrigin() const override;
  Point pointerPosition() const override;
  void setPointerPosition(Point screen) override;
  // Resizes the child window to the scaled size (the host was asked for room by the bridge).
  void setScale(int percent) override;
  int systemScale() const override;
  MenuItem* popupMenu(PopupMenu& menu, Point screen) override;
  // The system's open and save dialogs; the drawn one when they cannot be shown.
  void fileDialog(const FileDialogRequest& request, std::function<void(const std::string&)> done) override;
  // The system's clipboard, as Unicode text.
  void setClipboardText(const std::string& text) override;

  void* window() const;
  // The parent (and with it this window) was destroyed before the host was.
  bool windowGone() const;
  std::size_t openPopups() const;
  // The top-level window of the i-th open dialog (null when there is none).
  void* dialogWindow(std::size_t i) const;
  // Editors of this module that hold the window classes (0 once all are closed).
  static int classUsers();

  struct Impl;  // also seen by the window procedures and the thread's message hook

 private:
  void modalOpened(Control& dialog) override;
  void modalClosing(Control& dialog) override;
  void fetchClipboardText() override;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korvo
