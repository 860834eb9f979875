// WindowHost: what stands between a control tree and a platform window. The base class does
// the platform-independent part (mouse capture, hover, focus, key routing, invalidation,
// painting into an image); a platform host feeds it input, shows the image and implements the
// services (pointer position, popup menus, message boxes, modal dialogs). HeadlessHost
// (headlessHost.h) is the one used by tests.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "control.h"
#include "keyEcho.h"
#include "menu.h"

namespace korvo {

enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageResult { None, Ok, Cancel, Yes, No };

// What a file open or save dialog asks for.
struct FileDialogRequest {
  bool save = false;
  std::string title;
  std::string folder;            // where it starts
  std::string fileName;          // proposed name (save)
  std::string filter;            // "Description (*.EXT)|*.EXT[;*.EXT2]": matched without regard to case
  std::string defaultExtension;  // appended to a typed name without an extension
};

class WindowHost {
 public:
  // The host owns a root control of the given client size that fills itself with its colour.
  WindowHost(int width, int height);
  virtual ~WindowHost();
  WindowHost(const WindowHost&) = delete;
  WindowHost& operator=(const WindowHost&) = delete;

  Control& root() { return *root_; }
  // Replaces the root control (the window's own control class).
  void setRoot(std::unique_ptr<Control> root);

  // Input in window coordinates --------------------------------------------------------------
  void mouseDown(MouseButton button, ShiftState shift, Point p);
  void mouseUp(MouseButton button, ShiftState shift, Point p);
  void mouseMove(ShiftState shift, Point p);
  // A second press in quick succession: the control gets doubleClick, then mouseDown with
  // kDouble in the shift state (as the Windows toolkit does).
  void doubleClick(MouseButton button, ShiftState shift, Point p);
  // delta as the systems give it: 120 a notch (finer wheels send parts of one, which add up).
  void mouseWheel(int delta, ShiftState shift, Point p);
  void keyDown(int key, ShiftState shift);
  void keyUp(int key, ShiftState shift);
  void keyChar(char32_t ch);

  // Focus, capture, hover ---------------------------------------------------------------------
  Control* focus() const { return focus_; }
  void setFocus(Control* c);
  Control* capture() const { return capture_; }
  Control* hover() const { return hover_; }
  Cursor cursor() const;
  // Called by Control before it leaves the tree.
  void forget(const Control* c);

  // Scale -------------------------------------------------------------------------------------
  // The window draws at a scale in percent: the controls keep their units (the window
  // description's 96-dpi pixels), the picture and the platform window are that much larger.
  // Platform hosts give input in device pixels through toUnits().
  int scale() const { return scale_; }
  // Repaints everything at the new scale; platform hosts also resize their window.
  virtual void setScale(int percent);
  // The scale the system asks for in percent (its dots per inch against 96); 0 when unknown.
  virtual int systemScale() const { return 0; }
  // The platform's handle of the window (an X11 Window id), 0 for a headless one: what a host
  // that embeds the window by its handle is given.
  virtual unsigned long nativeWindow() const { return 0; }
  Size deviceSize() const;
  Point toUnits(Point device) const { return {unscaleCoord(device.x, scale_), unscaleCoord(device.y, scale_)}; }
  Point toDevice(Point units) const { return {scaleCoord(units.x, scale_), scaleCoord(units.y, scale_)}; }
  Rect toDevice(const Rect& units) const { return scaleRect(units, scale_); }

  // Painting ----------------------------------------------------------------------------------
  void invalidate(const Rect& windowArea);
  // An area of the control tree whose root is `tree` (the window's root or a dialog).
  void invalidate(const Control& tree, const Rect& windowArea);
  Rect dirty() const { return dirty_; }
  bool needsPaint() const { return !dirty_.empty(); }
  // Paints the whole tree into `image` (resized to the root's size at the scale) and clears the
  // dirty area.
  void render(Image& image);
  // Paints only the dirty area into an image of the root's size (and scale) kept from before.
  void renderDirty(Image& image);
  static void paintTree(Control& c, Canvas& canvas);

  // Modal dialogs ------------------------------------------------------------------------------
  // Dialogs are shown over the window's controls and never block: the caller goes on and
  // learns the outcome from a callback, so the host's idle calls keep coming while one is open.
  // While dialogs are open, all input goes to the topmost; it gets the focus (its first tab
  // stop) and the focus returns where it was when the last one closes.
  // Opens `dialog` with its top-left corner at a window point (kept inside the window).
  virtual Control& openModal(std::unique_ptr<Control> dialog, Point windowPos,
                             std::function<void(Control&)> onClosed = {});
  // Runs the dialog's onClosed and removes it; it is destroyed after the current event, so a
  // handler of the dialog may close it. Ignored for a dialog that is not open.
  void closeModal(Control& dialog);
  Control* topModal() const { return modals_.empty() ? nullptr : modals_.back().dialog.get(); }
  std::size_t modalCount() const { return modals_.size(); }
  Control* modalAt(std::size_t i) const { return i < modals_.size() ? modals_[i].dialog.get() : nullptr; }
  // Frees dialogs closed since the last call; the hosts call it after each event.
  void collectClosed() { closed_.clear(); }
  // Platform hosts show each dialog in a top-level window of its own, over the editor: then
  // the window's picture holds no dialog, and each dialog's picture comes from renderModal.
  // Input still comes through this host in window coordinates, so a point in a dialog's own
  // window is offset by the dialog's position (its bounds) before it is handed on.
  bool modalsApart() const { return modalsApart_; }
  // Paints what changed in an open dialog since the last call (all of it when `image` has
  // another size or scale) into an image of the dialog's size at the window's scale. Answers
  // the device area painted, empty when nothing changed or the dialog is not open.
  Rect renderModal(const Control& dialog, Image& image);

  // Clipboard -----------------------------------------------------------------------------------
  // Puts text on the system's clipboard (platform hosts); the base keeps it in the host.
  virtual void setClipboardText(const std::string& text) { clipboard_ = text; }
  // Asks for the clipboard's text on behalf of `requester`, which gets pasteText() when it comes
  // (at once, or once the system has answered) if it still has the focus then.
  void requestClipboardText(Control& requester);

  // Services ----------------------------------------------------------------------------------
  // The window's top-left corner on the screen. Screen points are device pixels.
  virtual Point windowOrigin() const { return {}; }
  virtual Point pointerPosition() const = 0;  // screen
  // Moves the system pointer; hosts that cannot, ignore it.
  virtual void setPointerPosition(Point screen) = 0;
  // Shows the menu at a screen point. The chosen item's onClick runs when it is chosen, which
  // may be after this returns; the result is the item when the choice was made at once.
  virtual MenuItem* popupMenu(PopupMenu& menu, Point screen) = 0;
  // A message box over the window; `done` gets the button (None when the window goes first).
  virtual void messageBox(const std::string& caption, const std::string& text, MessageButtons buttons,
                          std::function<void(MessageResult)> done);
  // A file open or save dialog; `done` gets the chosen path, or an empty text when cancelled.
  // The drawn dialog here; platform hosts may show the system's own.
  virtual void fileDialog(const FileDialogRequest& request, std::function<void(const std::string&)> done);

  // Platform hosts ------------------------------------------------------------------------------
  // A window in a foreign parent gets no thread of its own: its owner calls these on the thread
  // that made it (the plug-in's editor idle). pumpEvents handles the input that arrived;
  // present shows what was painted since.
  virtual void pumpEvents() {}
  virtual void present() {}
  // Asked by platform hosts before they take the system's keyboard focus for the window, and
  // while they keep it: when it answers false (or is unset) the application around keeps its
  // keys. Open dialogs always want them.
  std::function<bool()> keyboardWanted;
  bool wantsKeyboard() const { return modalCount() > 0 || (keyboardWanted && keyboardWanted()); }
  // Keys that reached the window by the system's route, checked against the host's copies
  // (effEditKeyDown/effEditKeyUp) by whoever feeds those.
  KeyEchoFilter keyEcho;
  // Set by the window's owner: its periodic work (display clock, posted messages, present).
  // Platform hosts with a system timer of their own call it between the owner's idle calls.
  std::function<void()> onTimer;
  // Set by the window's owner; platform hosts call it when systemScale() has changed.
  std::function<void()> onSystemScaleChanged;

 protected:
  // Turned on once by a platform host that gives dialogs windows of their own.
  void showModalsApart() { modalsApart_ = true; }
  // Told when a dialog has opened, and when it is closing (before its onClosed runs, which may
  // open the next one).
  virtual void modalOpened(Control&) {}
  virtual void modalClosing(Control&) {}
  // Starts fetching the clipboard's text for requestClipboardText; the answer goes to
  // deliverClipboardText (empty when the clipboard holds no text).
  virtual void fetchClipboardText() { deliverClipboardText(clipboard_); }
  void deliverClipboardText(const std::string& text);

 private:
  struct Modal {
    std::unique_ptr<Control> dialog;
    std::function<void(Control&)> onClosed;
    Control* focusBefore = nullptr;
    Rect dirty{};  // in the dialog's coordinates, when it has a window of its own
  };
  Modal* modalOf(const Control& dialog);
  void forgetLostRelease(ShiftState bit);
  Control* target(Point p);
  Control& inputRoot() const;
  void paintModals(Canvas& canvas);
  std::unique_ptr<Control> root_;
  Control* focus_ = nullptr;
  Control* capture_ = nullptr;
  Control* hover_ = nullptr;
  // Buttons pressed and not yet released, and those among them whose release belongs to no
  // control (the press opened or closed a dialog). A press of a button still marked down means
  // its release never came (its window went meanwhile): that press is forgotten.
  ShiftState buttonsDown_ = 0;
  ShiftState swallowRelease_ = 0;
  int wheelRest_ = 0;  // parts of a notch not yet handed on
  Control* pasteTarget_ = nullptr;
  std::string clipboard_;
  Rect dirty_{};
  int scale_ = 100;
  bool modalsApart_ = false;
  std::vector<Modal> modals_;
  std::vector<std::unique_ptr<Control>> closed_;
};

// Shows a message box through the control's host; without a host `done` gets None at once.
void messageBox(Control& from, const std::string& caption, const std::string& text, MessageButtons buttons,
                std::function<void(MessageResult)> done = {});

}  // namespace korvo
