// The control tree: every visible thing of a window is a Control with bounds in its parent,
// children it owns, and handlers for mouse, keyboard, focus and paint.
//
// Event order follows the Windows toolkit the window descriptions come from: a subclass
// overrides the virtual handler, calls the base handler first (which fires the public
// onXxx callback) and then does its own work. The WindowHost (host.h) turns platform input
// into these calls: it captures the mouse for the pressed control until the last button is
// released, sends keys to the focused control and paints the tree into an image.
//
// All of it belongs to the user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "canvas.h"
#include "font.h"

namespace korvo {

enum class MouseButton { Left, Right, Middle };

// Modifier and button state of an input event (TShiftState).
using ShiftState = unsigned;
inline constexpr ShiftState kShift = 1;
inline constexpr ShiftState kAlt = 2;
inline constexpr ShiftState kCtrl = 4;
inline constexpr ShiftState kLeftButton = 8;
inline constexpr ShiftState kRightButton = 16;
inline constexpr ShiftState kMiddleButton = 32;
inline constexpr ShiftState kDouble = 64;

enum class Cursor { Default, Arrow, HandPoint, IBeam, Cross, SizeNS };

// Key codes use the Windows virtual-key numbering on every platform: letters are their upper
// case ASCII codes, digits their ASCII codes, the rest below.
namespace keys {
inline constexpr int Back = 0x08, Tab = 0x09, Return = 0x0D, Shift = 0x10, Control = 0x11, Menu = 0x12, Escape = 0x1B,
                     Space = 0x20, PageUp = 0x21, PageDown = 0x22, End = 0x23, Home = 0x24, Left = 0x25, Up = 0x26,
                     Right = 0x27, Down = 0x28, Insert = 0x2D, Delete = 0x2E, Comma = 0xBC, Period = 0xBE;
}  // namespace keys

// Position in the receiving control's coordinates. `button` is meaningful for press, release
// and double click only.
struct MouseEvent {
  MouseButton button = MouseButton::Left;
  ShiftState shift = 0;
  int x = 0;
  int y = 0;
};

class WindowHost;

class Control {
 public:
  Control();
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Tree --------------------------------------------------------------------------------------
  // Creates a child owned by this control, painted above the earlier children.
  template <class T, class... Args>
  T* add(Args&&... args) {
    auto child = std::make_unique<T>(std::forward<Args>(args)...);
    T* raw = child.get();
    adopt(std::move(child));
    return raw;
  }
  Control* adopt(std::unique_ptr<Control> child);
  // Detaches a child (focus and capture are dropped first); null when it is not a child.
  std::unique_ptr<Control> release(Control* child);
  Control* parent() const { return parent_; }
  const std::vector<std::unique_ptr<Control>>& children() const { return children_; }
  // The host of the tree this control is in (null while detached or while the tree has none).
  WindowHost* host() const;

  // Geometry: bounds are in the parent's coordinates ---------------------------------------
  Rect bounds() const { return bounds_; }
  void setBounds(const Rect& r);
  void setBounds(int left, int top, int width, int height) { setBounds(Rect::xywh(left, top, width, height)); }
  void setPosition(int left, int top) { setBounds(left, top, width(), height()); }
  void setSize(int width, int height) { setBounds(left(), top(), width, height); }
  int left() const { return bounds_.left; }
  int top() const { return bounds_.top; }
  int width() const { return bounds_.width(); }
  int height() const { return bounds_.height(); }
  Rect clientRect() const { return {0, 0, width(), height()}; }
  // Point of this control in the host window's coordinates, and back.
  Point toWindow(Point p) const;
  Point fromWindow(Point p) const;
  // Point of this control on the screen (through the host's window origin).
  Point toScreen(Point p) const;
  // Deepest visible, enabled descendant under p (this control's coordinates), or this.
  Control* controlAt(Point p);

  // State -------------------------------------------------------------------------------------
  bool visible() const { return visible_; }
  void setVisible(bool v);
  // Visible here and in every ancestor.
  bool showing() const;
  bool enabled() const { return enabled_; }
  void setEnabled(bool e);
  bool focused() const;
  void setFocus();
  bool tabStop = false;
  std::string name;
  std::string hint;
  Cursor cursor = Cursor::Default;
  int tag = 0;
  Pixel colour = rgb(240, 240, 240);
  Font font;
  Pixel fontColour = 0;

  // Marks the control (or a part of it, in its coordinates) for repaint.
  void invalidate();
  void invalidate(const Rect& area);

  // Public events -----------------------------------------------------------------------------
  std::function<void(Control&, const MouseEvent&)> onMouseDown;
  std::function<void(Control&, const MouseEvent&)> onMouseUp;
  std::function<void(Control&, const MouseEvent&)> onMouseMove;
  std::function<void(Control&)> onDblClick;
  std::function<void(Control&)> onClick;
  std::function<void(Control&, int key, ShiftState)> onKeyDown;
  std::function<void(Control&, int key, ShiftState)> onKeyUp;
  std::function<void(Control&, char32_t)> onKeyPress;
  std::function<void(Control&, bool gained)> onFocusChange;
  // Returns true when it used the wheel step.
  std::function<bool(Control&, int delta, ShiftState, Point)> onMouseWheel;

  // Handlers the host calls (override; call the base first to fire the events) ---------
  virtual void paint(Canvas& canvas);
  virtual void mouseDown(const MouseEvent& e);
  virtual void mouseUp(const MouseEvent& e);
  virtual void mouseMove(const MouseEvent& e);
  virtual void doubleClick(const MouseEvent& e);
  // delta in wheel notches (positive = away from the user); true when used.
  virtual bool mouseWheel(int delta, ShiftState shift, Point p);
  virtual void keyDown(int key, ShiftState shift);
  virtual void keyUp(int key, ShiftState shift);
  virtual void keyPress(char32_t ch);
  virtual void focusChanged(bool gained);
  // Whether arrows and Tab go to this control instead of moving the focus.
  virtual bool wantsNavigationKeys() const { return false; }
  virtual void resized() {}
  // Where a press drags the window the control fills (a dialog's caption bar), in its own
  // coordinates; empty when nowhere.
  virtual Rect dragArea() const { return {}; }
  // Fires onClick; controls with click semantics call it.
  virtual void click();
  // Text from the clipboard, asked for by this control (WindowHost::requestClipboardText) and
  // handed over while it still has the focus.
  virtual void pasteText(const std::string&) {}
  // The control a dialog gives the focus to when it opens; null: its first tab stop.
  virtual Control* initialFocus() { return nullptr; }

 private:
  friend class WindowHost;
  Control* parent_ = nullptr;
  WindowHost* host_ = nullptr;  // set on the root only
  std::vector<std::unique_ptr<Control>> children_;
  Rect bounds_{};
  bool visible_ = true;
  bool enabled_ = true;
};

}  // namespace korvo
