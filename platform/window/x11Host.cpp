#include "x11Host.h"

// The toolkit's headers before Xlib's macros (None, Bool, Status).
#include "childFileDialog.h"
#include "fileDialog.h"
#include "popupHost.h"
#include "topLevels.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "menu.h"

namespace korvo {

namespace {

// Protocol errors of our own connection are counted, never fatal; errors of other connections
// (the host's, when it uses Xlib too) go on to the handler that was installed before. Every
// entry into Xlib is wrapped, and the wrapper syncs before it leaves, so no error of ours can
// arrive while the host's handler is in place.
Display* g_trapDisplay = nullptr;
int g_trapDepth = 0;
int g_trapErrors = 0;
XErrorHandler g_previousHandler = nullptr;

int trapHandler(Display* d, XErrorEvent* e) {
  if (d == g_trapDisplay) {
    ++g_trapErrors;
    return 0;
  }
  return g_previousHandler ? g_previousHandler(d, e) : 0;
}

class ErrorTrap {
 public:
  explicit ErrorTrap(Display* d) : d_(d) {
    if (g_trapDepth++ == 0) {
      g_trapDisplay = d;
      g_trapErrors = 0;
      g_previousHandler = XSetErrorHandler(trapHandler);
    }
  }
  ~ErrorTrap() {
    if (d_) XSync(d_, False);
    if (--g_trapDepth == 0) {
      XSetErrorHandler(g_previousHandler);
      g_previousHandler = nullptr;
      g_trapDisplay = nullptr;
    }
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;
  // Errors so far, after a round trip.
  int errors() {
    XSync(d_, False);
    return g_trapErrors;
  }
  // For XCloseDisplay: no sync on a connection that is gone.
  void forget() { d_ = nullptr; }

 private:
  Display* d_;
};

constexpr long kBaseMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                           StructureNotifyMask | FocusChangeMask | LeaveWindowMask;
constexpr long kKeyMask = KeyPressMask | KeyReleaseMask;
constexpr long kPopupMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | kKeyMask;
constexpr long kDialogMask = kPopupMask | StructureNotifyMask;
// Windows' double-click rules: 500 ms, a 4 x 4 pixel box.
constexpr Time kDoubleClickMs = 500;
constexpr int kDoubleClickSlop = 2;

// A pointer move stands for the moves queued right behind it (of `w`, or of any window when
// 0): only the last one is handed on. Moves behind a press or release stay, or a quick drag
// would lose where it went after the press.
void takeQueuedMoves(Display* dpy, XEvent& ev, Window w) {
  XEvent next;
  while (XEventsQueued(dpy, QueuedAfterReading) > 0) {
    XPeekEvent(dpy, &next);
    if (next.type != MotionNotify || (w && next.xmotion.window != w)) return;
    XNextEvent(dpy, &ev);
  }
}

ShiftState shiftOf(unsigned state) {
  ShiftState s = 0;
  if (state & ShiftMask) s |= kShift;
  if (state & ControlMask) s |= kCtrl;
  if (state & Mod1Mask) s |= kAlt;
  return s;
}

// The toolkit speaks Windows virtual-key codes.
int virtualKey(KeySym k) {
  if (k >= XK_a && k <= XK_z) return static_cast<int>('A' + (k - XK_a));
  if (k >= XK_A && k <= XK_Z) return static_cast<int>('A' + (k - XK_A));
  if (k >= XK_0 && k <= XK_9) return static_cast<int>('0' + (k - XK_0));
  if (k >= XK_F1 && k <= XK_F12) return static_cast<int>(0x70 + (k - XK_F1));
  if (k >= XK_KP_0 && k <= XK_KP_9) return static_cast<int>(0x60 + (k - XK_KP_0));
  // clang-format off
  switch (k) {
    case XK_BackSpace: return keys::Back;
    case XK_Tab: case XK_ISO_Left_Tab: return keys::Tab;
    case XK_Return: case XK_KP_Enter: return keys::Return;
    case XK_Shift_L: case XK_Shift_R: return keys::Shift;
    case XK_Control_L: case XK_Control_R: return keys::Control;
    case XK_Alt_L: case XK_Alt_R: case XK_Meta_L: case XK_Meta_R: return keys::Menu;
    case XK_Escape: return keys::Escape;
    case XK_space: return keys::Space;
    case XK_Prior: case XK_KP_Prior: return keys::PageUp;
    case XK_Next: case XK_KP_Next: return keys::PageDown;
    case XK_End: case XK_KP_End: return keys::End;
    case XK_Home: case XK_KP_Home: return keys::Home;
    case XK_Left: case XK_KP_Left: return keys::Left;
    case XK_Up: case XK_KP_Up: return keys::Up;
    case XK_Right: case XK_KP_Right: return keys::Right;
    case XK_Down: case XK_KP_Down: return keys::Down;
    case XK_Insert: case XK_KP_Insert: return keys::Insert;
    case XK_Delete: case XK_KP_Delete: return keys::Delete;
    case XK_comma: return keys::Comma;
    case XK_period: return keys::Period;
    case XK_minus: return 0xBD;
    case XK_equal: case XK_plus: return 0xBB;
    case XK_semicolon: return 0xBA;
    case XK_slash: return 0xBF;
    case XK_grave: return 0xC0;
    case XK_bracketleft: return 0xDB;
    case XK_backslash: return 0xDC;
    case XK_bracketright: return 0xDD;
    case XK_apostrophe: return 0xDE;
    default: return 0;
  }
  // clang-format on
}

// The character a key press types (0 for none): Latin-1 key symbols are their code points,
// newer ones carry theirs with 0x01000000 added. Return, BackSpace, Tab and Escape give their
// control characters, as Windows' character messages do.
char32_t characterOf(XKeyEvent& e) {
  char buf[16];
  KeySym sym = NoSymbol;
  const int n = XLookupString(&e, buf, sizeof buf, &sym, nullptr);
  if (sym >= 0x20 && sym <= 0xFF) return static_cast<char32_t>(sym);
  if ((sym & 0xFF000000) == 0x01000000) return static_cast<char32_t>(sym & 0x00FFFFFF);
  if (n == 1) return static_cast<unsigned char>(buf[0]);
  return 0;
}

unsigned cursorShape(Cursor c) {
  switch (c) {
    case Cursor::HandPoint: return XC_hand2;
    case Cursor::IBeam: return XC_xterm;
    case Cursor::Cross: return XC_crosshair;
    case Cursor::SizeNS: return XC_sb_v_double_arrow;
    default: return XC_left_ptr;
  }
}

// Shifts of a TrueColor channel mask, for visuals whose pixels are not 0x00RRGGBB.
struct Channel {
  unsigned long mask = 0;
  int shift = 0;
  unsigned long max = 0;
  explicit Channel(unsigned long m) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) ++shift;
    max = m >> shift;
  }
  unsigned long scale(unsigned v) const { return ((v * max + 127) / 255) << shift; }
};

// Xft.dpi from the root window's resources as they are now (what xrdb loaded last), in percent
// of 96 dpi; 0 when it is not set. Not the copy the connection got at its start: a change while
// the editor is open is followed.
int scaleOfDisplay(Display* dpy) {
  Atom actualType = 0;
  int format = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), XA_RESOURCE_MANAGER, 0, 1 << 20, False, XA_STRING, &actualType,
                         &format, &items, &after, &data) != Success ||
      !data)
    return 0;
  const std::string resources(reinterpret_cast<const char*>(data), items);
  XFree(data);
  XrmInitialize();
  XrmDatabase db = XrmGetStringDatabase(resources.c_str());
  if (!db) return 0;
  char* type = nullptr;
  XrmValue value{};
  double dpi = 0;
  if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) dpi = std::strtod(value.addr, nullptr);
  XrmDestroyDatabase(db);
  return dpi >= 24 && dpi <= 2400 ? static_cast<int>(dpi * 100.0 / 96.0 + 0.5) : 0;
}

}  // namespace

int x11SystemScale(const char* displayName) {
  Display* dpy = XOpenDisplay(displayName);
  if (!dpy) return 0;
  const int s = scaleOfDisplay(dpy);
  XCloseDisplay(dpy);
  return s;
}

struct X11WindowHost::Impl final : TopLevels<Window>::Backend {
  X11WindowHost& self;
  Display* dpy = nullptr;
  int screen = 0;
  Window root = 0, parent = 0, win = 0;
  Visual* visual = nullptr;
  int depth = 0;
  GC gc = nullptr;
  bool gone = false;
  bool viewable = false;
  long eventMask = kBaseMask;
  bool focused = false;    // FocusIn on the window itself
  bool tookFocus = false;  // taken on a click; given back when keys are no longer wanted
  Window focusBefore = 0;
  int revertBefore = RevertToParent;
  Image frame;
  Rect exposed{};
  bool direct = false;  // the visual's pixels are 0x00RRGGBB in 32 bits
  long maxRequestBytes = 0;
  std::array<::Cursor, 6> cursors{};
  int cursorShown = -1;
  // Double clicks.
  Time lastPressTime = 0;
  unsigned lastPressButton = 0;
  Point lastPressPoint{};

  // Menu levels and dialogs in windows of their own over the editor.
  TopLevels<Window> tops;
  using Popup = TopLevels<Window>::Popup;
  using DialogWindow = TopLevels<Window>::Dialog;
  std::vector<Popup>& popups = tops.popups;
  std::vector<DialogWindow>& dialogs = tops.dialogs;
  MenuRequests& menus = tops.menus;
  bool grabbedPointer = false, grabbedKeyboard = false;
  Window focusedDialog = 0;  // the dialog window the input focus was last given to
  Atom wmProtocols = 0, wmDeleteWindow = 0;
  int systemScale = 0;  // as last read; the root's resources are watched for a change
  // A file dialog program and who waits for its answer.
  std::unique_ptr<ChildFileDialog> child;
  std::optional<DialogProgram> childProgram;
  bool childAttached = false;
  FileDialogRequest childRequest;
  std::function<void(const std::string&)> childDone;
  // The clipboard: what this window offers while it owns CLIPBOARD, and a paste under way.
  std::string clipboardText;
  bool pasteAsked = false;
  Time lastEventTime = CurrentTime;

  explicit Impl(X11WindowHost& s) : self(s), tops(s, *this) {}

  Atom atom(const char* name) { return XInternAtom(dpy, name, False); }

  // Another client asks for what we copied: as UTF-8 or Latin-1 text, or which forms we offer.
  void answerSelectionRequest(const XSelectionRequestEvent& r) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.display = r.display;
    reply.requestor = r.requestor;
    reply.selection = r.selection;
    reply.target = r.target;
    reply.time = r.time;
    reply.property = None;
    const Atom utf8 = atom("UTF8_STRING"), targets = atom("TARGETS");
    const Atom property = r.property != None ? r.property : r.target;  // obsolete clients give none
    if (r.selection == atom("CLIPBOARD") && !clipboardText.empty()) {
      if (r.target == targets) {
        Atom offered[3] = {targets, utf8, XA_STRING};
        XChangeProperty(dpy, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(offered), 3);
        reply.property = property;
      } else if (r.target == utf8 || r.target == XA_STRING) {
        XChangeProperty(dpy, r.requestor, property, r.target, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(clipboardText.data()),
                        static_cast<int>(clipboardText.size()));
        reply.property = property;
      }
    }
    XSendEvent(dpy, r.requestor, False, 0, reinterpret_cast<XEvent*>(&reply));
  }

  // The owner's answer to our paste: the text in our property, or None when it had no text.
  void pasteArrived(const XSelectionEvent& e) {
    if (!pasteAsked) return;
    pasteAsked = false;
    std::string text;
    if (e.property != None) {
      Atom type = 0;
      int format = 0;
      unsigned long items = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(dpy, win, e.property, 0, 1 << 16, True, AnyPropertyType, &type, &format, &items, &after,
                             &data) == Success &&
          data) {
        if (format == 8) text.assign(reinterpret_cast<const char*>(data), items);
        XFree(data);
      }
    }
    self.deliverClipboardText(text);
  }

  // Input ---------------------------------------------------------------------------------------
  void dispatch(XEvent& ev) {
    const Window w = ev.xany.window;
    if (w == parent && ev.type == DestroyNotify) {
      gone = true;
      return;
    }
    if (w == root && ev.type == PropertyNotify && ev.xproperty.atom == XA_RESOURCE_MANAGER) {
      const int now = scaleOfDisplay(dpy);
      if (now != systemScale) {
        systemScale = now;
        if (self.onSystemScaleChanged) self.onSystemScaleChanged();
      }
      return;
    }
    if (w == win) {
      editorEvent(ev);
      return;
    }
    for (std::size_t i = 0; i < popups.size(); ++i)
      if (popups[i].w == w) {
        popupEvent(i, ev);
        return;
      }
    for (std::size_t i = 0; i < dialogs.size(); ++i)
      if (dialogs[i].w == w) {
        dialogEvent(i, ev);
        return;
      }
  }

  void editorEvent(XEvent& ev) {
    switch (ev.type) {
      case DestroyNotify: gone = true; break;
      case MapNotify: viewable = true; break;
      case UnmapNotify: viewable = false; break;
      case Expose:
        exposed = exposed.unite(Rect::xywh(ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height));
        break;
      case FocusIn:
        if (ev.xfocus.detail != NotifyPointer && ev.xfocus.detail != NotifyInferior) focused = true;
        break;
      case FocusOut:
        if (ev.xfocus.mode != NotifyNormal || ev.xfocus.detail == NotifyInferior || ev.xfocus.detail == NotifyPointer)
          break;
        focused = false;
        if (tookFocus && dialogs.empty()) {  // not when it went to a dialog of ours
          // Someone else took the keyboard: the text box loses its focus, as on Windows.
          tookFocus = false;
          if (self.modalCount() == 0) self.setFocus(nullptr);
        }
        break;
      case ButtonPress:
        if (tops.holdPress(ev.xbutton.button)) break;  // the editor waits for its dialog
        tops.pressWentOn(ev.xbutton.button);
        if (buttonPress(ev.xbutton, {}) && self.wantsKeyboard()) takeFocus(ev.xbutton.time);
        break;
      case ButtonRelease:
        if (tops.releaseHeld(ev.xbutton.button)) break;
        // With a menu open only the press that opened it still gets its release; with a file
        // dialog open, likewise.
        if (child && !self.capture()) break;
        if (ev.xbutton.button <= 3 && (popups.empty() || self.capture()))
          self.mouseUp(mouseButton(ev.xbutton.button), shiftOf(ev.xbutton.state),
                       self.toUnits({ev.xbutton.x, ev.xbutton.y}));
        break;
      case MotionNotify: {
        takeQueuedMoves(dpy, ev, win);
        if (!popups.empty() || !dialogs.empty()) break;
        self.mouseMove(shiftOf(ev.xmotion.state), self.toUnits({ev.xmotion.x, ev.xmotion.y}));
        break;
      }
      case KeyPress:
      case KeyRelease: keyEvent(self, ev.xkey); break;
      case SelectionRequest: answerSelectionRequest(ev.xselectionrequest); break;
      case SelectionClear: clipboardText.clear(); break;
      case SelectionNotify: pasteArrived(ev.xselection); break;
      default: break;
    }
  }

  static MouseButton mouseButton(unsigned b) {
    return b == 3 ? MouseButton::Right : b == 2 ? MouseButton::Middle : MouseButton::Left;
  }

  // A press in the editor window, or in a dialog's window at `offset` (the dialog's position in
  // the window's units). False when it went no further.
  bool buttonPress(XButtonEvent& e, Point offset) {
    if (child) return false;  // the file dialog is modal to the editor
    if (!popups.empty()) {    // a click beside the menu closes it and goes no further
      menus.cancel();
      return false;
    }
    const Point p = unitsAt(e.x, e.y, offset);
    if (e.button == 4 || e.button == 5) {
      self.mouseWheel(e.button == 4 ? 120 : -120, shiftOf(e.state), p);
      return false;
    }
    if (e.button > 3) return false;
    const MouseButton b = mouseButton(e.button);
    const bool twice = e.button == lastPressButton && e.time - lastPressTime <= kDoubleClickMs &&
                       std::abs(e.x - lastPressPoint.x) <= kDoubleClickSlop &&
                       std::abs(e.y - lastPressPoint.y) <= kDoubleClickSlop;
    if (twice) {
      lastPressButton = 0;  // a third press starts afresh
      self.doubleClick(b, shiftOf(e.state), p);
    } else {
      lastPressButton = e.button;
      lastPressTime = e.time;
      lastPressPoint = {e.x, e.y};
      self.mouseDown(b, shiftOf(e.state), p);
    }
    return true;
  }

  Point rootPosition(Window w) const {
    int x = 0, y = 0;
    Window unused = 0;
    XTranslateCoordinates(dpy, w, root, 0, 0, &x, &y, &unused);
    return {x, y};
  }

  Point unitsAt(int x, int y, Point offset) const {
    const Point u = self.toUnits({x, y});
    return {u.x + offset.x, u.y + offset.y};
  }

  // Dialogs -------------------------------------------------------------------------------------
  void dialogEvent(std::size_t i, XEvent& ev) {
    DialogWindow& d = dialogs[i];
    const bool top = i + 1 == dialogs.size();
    const Point offset{d.dialog->left(), d.dialog->top()};
    switch (ev.type) {
      case MapNotify: d.mapped = true; break;
      case UnmapNotify: d.mapped = false; break;
      case Expose:
        d.exposed = d.exposed.unite(Rect::xywh(ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height));
        break;
      case ButtonPress:
        if (!top) {
          tops.holdPress(ev.xbutton.button);  // it waits for the dialog above it
          break;
        }
        tops.pressWentOn(ev.xbutton.button);
        if (ev.xbutton.button == 1 && !child && popups.empty() &&
            onDragArea(*d.dialog, unitsAt(ev.xbutton.x, ev.xbutton.y, offset)))
          d.drag.start({ev.xbutton.x_root, ev.xbutton.y_root}, rootPosition(d.w));
        else
          buttonPress(ev.xbutton, offset);
        focusDialog(d, ev.xbutton.time);  // it may have lost the focus to the host meanwhile
        break;
      case ButtonRelease:
        if (tops.releaseHeld(ev.xbutton.button)) break;
        if (d.drag.active && ev.xbutton.button == 1) {
          d.drag.active = false;
        } else if (top && ev.xbutton.button <= 3 && (popups.empty() || self.capture()))
          self.mouseUp(mouseButton(ev.xbutton.button), shiftOf(ev.xbutton.state),
                       unitsAt(ev.xbutton.x, ev.xbutton.y, offset));
        break;
      case MotionNotify:
        takeQueuedMoves(dpy, ev, d.w);
        if (d.drag.active) {
          // The press's implicit grab keeps the moves coming while the pointer is outside.
          const Point to = d.drag.windowAt({ev.xmotion.x_root, ev.xmotion.y_root});
          XMoveWindow(dpy, d.w, to.x, to.y);
        } else if (top && popups.empty())
          self.mouseMove(shiftOf(ev.xmotion.state), unitsAt(ev.xmotion.x, ev.xmotion.y, offset));
        break;
      case KeyPress:
      case KeyRelease: keyEvent(self, ev.xkey); break;
      case ClientMessage:
        // The window manager's close: what Escape does in the dialog.
        if (ev.xclient.message_type == wmProtocols && static_cast<Atom>(ev.xclient.data.l[0]) == wmDeleteWindow && top)
          self.keyDown(keys::Escape, 0);
        break;
      default: break;
    }
  }

  // TopLevels' backend -------------------------------------------------------------------------
  Window createDialogWindow(Control& d, Point at, Size size) override {
    if (gone) return 0;
    ErrorTrap trap(dpy);
    const int w = size.width, h = size.height;
    XSetWindowAttributes a{};
    a.event_mask = kDialogMask;
    a.border_pixel = 0;
    a.background_pixmap = None;
    a.colormap = DefaultColormap(dpy, screen);
    const Window dw = XCreateWindow(dpy, root, at.x, at.y, static_cast<unsigned>(w), static_cast<unsigned>(h), 0, depth,
                                    InputOutput, visual, CWEventMask | CWBorderPixel | CWBackPixmap | CWColormap, &a);
    if (!dw) return 0;
    const Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
    Atom dialogType = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(dpy, dw, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&dialogType), 1);
    // The dialog draws its own frame and caption: the window manager adds none.
    long motifHints[5] = {2, 0, 0, 0, 0};  // flags: decorations; decorations: none
    const Atom motif = XInternAtom(dpy, "_MOTIF_WM_HINTS", False);
    XChangeProperty(dpy, dw, motif, motif, 32, PropModeReplace, reinterpret_cast<unsigned char*>(motifHints), 5);
    if (XSizeHints* hints = XAllocSizeHints()) {
      hints->flags = USPosition | PPosition | PMinSize | PMaxSize;
      hints->x = at.x;
      hints->y = at.y;
      hints->min_width = hints->max_width = w;
      hints->min_height = hints->max_height = h;
      XSetWMNormalHints(dpy, dw, hints);
      XFree(hints);
    }
    const std::string title = dialogTitle(d);
    XChangeProperty(dpy, dw, XInternAtom(dpy, "_NET_WM_NAME", False), XInternAtom(dpy, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    XStoreName(dpy, dw, title.c_str());
    if (!wmProtocols) {
      wmProtocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
      wmDeleteWindow = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    }
    XSetWMProtocols(dpy, dw, &wmDeleteWindow, 1);
    XSetTransientForHint(dpy, dw, hostTopLevel());
    return dw;
  }

  Window createMenuWindow(Point at, Size size) override {
    XSetWindowAttributes a{};
    a.override_redirect = True;
    a.save_under = True;
    a.event_mask = kPopupMask;
    a.border_pixel = 0;
    a.background_pixmap = None;
    a.colormap = DefaultColormap(dpy, screen);
    const Window w =
        XCreateWindow(dpy, root, at.x, at.y, static_cast<unsigned>(size.width), static_cast<unsigned>(size.height), 0,
                      depth, InputOutput, visual,
                      CWOverrideRedirect | CWSaveUnder | CWEventMask | CWBorderPixel | CWBackPixmap | CWColormap, &a);
    if (!w) return 0;
    const Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
    Atom menuType = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
    XChangeProperty(dpy, w, type, XA_ATOM, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&menuType), 1);
    XSetTransientForHint(dpy, w, hostTopLevel());
    return w;
  }

  void showWindow(Window w, bool) override { XMapRaised(dpy, w); }

  void destroyWindow(Window w) override {
    ErrorTrap trap(dpy);
    XDestroyWindow(dpy, w);
  }

  void raiseDialog(Window w) override { XRaiseWindow(dpy, w); }

  // Kept on the screen.
  Rect menuArea(Point) override { return Rect::xywh(0, 0, DisplayWidth(dpy, screen), DisplayHeight(dpy, screen)); }

  void grabForMenu(Window first) override {
    if (!grabbedPointer)
      grabbedPointer = XGrabPointer(dpy, first, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                                    GrabModeAsync, GrabModeAsync, None, None, CurrentTime) == GrabSuccess;
    if (!grabbedKeyboard)
      grabbedKeyboard = XGrabKeyboard(dpy, first, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess;
  }

  void releaseMenuGrab(Window) override {
    if (grabbedPointer) XUngrabPointer(dpy, CurrentTime);
    if (grabbedKeyboard) XUngrabKeyboard(dpy, CurrentTime);
    grabbedPointer = grabbedKeyboard = false;
  }

  // The keys go to the topmost dialog while one is open; the focus they had before is kept to
  // be given back.
  void focusDialog(DialogWindow& d, Time t) {
    if (!d.mapped || gone) return;
    if (!tookFocus) {
      XGetInputFocus(dpy, &focusBefore, &revertBefore);
      tookFocus = true;
    }
    XSetInputFocus(dpy, d.w, RevertToParent, t);
    focusedDialog = d.w;
  }

  void keyEvent(WindowHost& target, XKeyEvent& e) {
    const int vk = virtualKey(XLookupKeysym(&e, 0));
    const ShiftState s = shiftOf(e.state);
    if (vk && !self.keyEcho.accept(KeyEchoFilter::Route::System, e.type == KeyPress, vk)) return;
    if (e.type == KeyRelease) {
      if (vk) target.keyUp(vk, s);
      return;
    }
    lastEventTime = e.time;
    if (vk) target.keyDown(vk, s);
    // A key held with Ctrl or Alt is a command (Ctrl+A, Alt+F), not text.
    if (s & (kCtrl | kAlt)) return;
    if (const char32_t ch = characterOf(e)) target.keyChar(ch);
  }

  void popupEvent(std::size_t i, XEvent& ev) {
    switch (ev.type) {
      case Expose:
        popups[i].exposed =
            popups[i].exposed.unite(Rect::xywh(ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height));
        break;
      case ButtonPress:
      case ButtonRelease:
      case MotionNotify: {
        // With the pointer grabbed, events outside our windows come here in this window's
        // coordinates: find the level under the pointer by its root position.
        int rx = 0, ry = 0;
        ShiftState s = 0;
        if (ev.type == MotionNotify) {
          takeQueuedMoves(dpy, ev, 0);
          rx = ev.xmotion.x_root;
          ry = ev.xmotion.y_root;
          s = shiftOf(ev.xmotion.state);
        } else {
          rx = ev.xbutton.x_root;
          ry = ev.xbutton.y_root;
          s = shiftOf(ev.xbutton.state);
        }
        if (ev.type == ButtonRelease && ev.xbutton.button <= 3 && self.capture()) {
          // The press that opened the menu is released beside the window (or dragged into the menu).
          const Point e = self.windowOrigin();
          self.mouseUp(mouseButton(ev.xbutton.button), s, self.toUnits({rx - e.x, ry - e.y}));
        }
        Popup* under = tops.levelAt({rx, ry});
        if (!under) {
          if (ev.type == ButtonPress) menus.cancel();
          break;
        }
        const Point o = under->host->windowOrigin();
        const Point p = under->host->toUnits({rx - o.x, ry - o.y});
        if (ev.type == MotionNotify)
          under->host->mouseMove(s, p);
        else if (ev.xbutton.button <= 3 && ev.type == ButtonPress)
          under->host->mouseDown(mouseButton(ev.xbutton.button), s, p);
        else if (ev.xbutton.button <= 3)
          under->host->mouseUp(mouseButton(ev.xbutton.button), s, p);
        break;
      }
      case KeyPress:
      case KeyRelease: keyEvent(*popups.back().host, ev.xkey); break;
      default: break;
    }
  }

  // Focus ---------------------------------------------------------------------------------------
  void takeFocus(Time t) {
    if (tookFocus || focused || !viewable || gone) return;
    XGetInputFocus(dpy, &focusBefore, &revertBefore);
    setKeyMask(true);  // keys typed before FocusIn arrives must not fall through to the parent
    XSetInputFocus(dpy, win, RevertToParent, t);
    tookFocus = true;
  }

  void giveFocusBack() {
    tookFocus = false;
    if (gone) return;
    Window back = focusBefore;
    if (back == None || back == win) back = PointerRoot;
    ErrorTrap trap(dpy);
    XSetInputFocus(dpy, back, back == PointerRoot ? RevertToPointerRoot : revertBefore, CurrentTime);
    if (trap.errors()) XSetInputFocus(dpy, PointerRoot, RevertToPointerRoot, CurrentTime);
  }

  void setKeyMask(bool on) {
    const long mask = on ? (kBaseMask | kKeyMask) : kBaseMask;
    if (mask == eventMask || gone) return;
    eventMask = mask;
    XSelectInput(dpy, win, mask);
  }

  // After each batch of events: deferred menu work, focus, key selection, cursor.
  void settle() {
    menus.settle(tops, [](MenuItem& item) {
      if (item.onClick) item.onClick(item);
    });
    self.collectClosed();
    for (Popup& p : popups) p.host->collectClosed();
    if (gone) return;
    if (!dialogs.empty()) {
      if (focusedDialog != dialogs.back().w) focusDialog(dialogs.back(), CurrentTime);
    } else if (focusedDialog) {
      // The last dialog went: the keys return to the name box that still wants them, or below.
      focusedDialog = 0;
      if (tookFocus && self.wantsKeyboard() && viewable) XSetInputFocus(dpy, win, RevertToParent, CurrentTime);
    }
    if (tookFocus && !self.wantsKeyboard()) giveFocusBack();
    setKeyMask(tookFocus || focused);
    const int shape = static_cast<int>(self.cursor());
    if (shape != cursorShown && shape >= 0 && shape < static_cast<int>(cursors.size())) {
      ::Cursor& c = cursors[static_cast<std::size_t>(shape)];
      if (!c) c = XCreateFontCursor(dpy, cursorShape(self.cursor()));
      XDefineCursor(dpy, win, c);
      cursorShown = shape;
    }
  }

  // Dialogs and menus belong to the host's top-level window.
  Window hostTopLevel() {
    Window top = win;
    for (Window r = 0, par = 0, *kids = nullptr;; top = par) {
      unsigned n = 0;
      if (!XQueryTree(dpy, top, &r, &par, &kids, &n)) break;
      if (kids) XFree(kids);
      if (par == r || par == 0) break;
    }
    return top;
  }

  // The file dialog's answer, once its program has ended. A program that failed (no display
  // after all, an option it does not know) gives way to the drawn dialog.
  void pollChild() {
    if (!child) return;
    const ChildFileDialog::State st = child->poll();
    if (st == ChildFileDialog::State::Running) return;
    std::string path = child->answer();
    child.reset();
    if (st == ChildFileDialog::State::Failed && childAttached) {
      // zenity 4 no longer knows --attach and ends at once: once more on its own.
      childAttached = false;
      child = ChildFileDialog::start(childProgram->path, dialogArguments(*childProgram, childRequest, 0));
      if (child) return;
    }
    auto done = std::move(childDone);
    childDone = nullptr;
    if (st == ChildFileDialog::State::Failed) {
      self.WindowHost::fileDialog(childRequest, std::move(done));
      return;
    }
    if (path.empty() || !childRequest.save) {
      if (done) done(path);
      return;
    }
    // A typed name without an extension gets the default one, as in the drawn dialog; the
    // program asked about the name without it, so a file of the longer name is asked about here.
    const std::string full = withDefaultExtension(path, childRequest.defaultExtension);
    if (full == path || access(full.c_str(), F_OK) != 0) {
      if (done) done(full);
      return;
    }
    const std::string name = full.substr(full.find_last_of('/') + 1);
    self.messageBox("Warning", name + " already exists.\nDo you want to replace it?", MessageButtons::YesNo,
                    [full, done = std::move(done)](MessageResult r) {
                      if (done) done(r == MessageResult::Yes ? full : std::string());
                    });
  }

  // Pictures ------------------------------------------------------------------------------------
  void upload(Window target, const Image& image, Rect area) {
    area = area.intersect(Rect::xywh(0, 0, image.width(), image.height()));
    if (area.empty()) return;
    const int w = image.width();
    // At most one request's worth per band: a connection without BIG-REQUESTS takes 262,140
    // bytes, and the editor alone is three times as large.
    const int bandRows = std::max(1, static_cast<int>(maxRequestBytes / (static_cast<long>(w) * 4)));
    for (int y = area.top; y < area.bottom; y += bandRows) {
      const int rows = std::min(bandRows, area.bottom - y);
      if (direct) {
        XImage* img = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                   reinterpret_cast<char*>(const_cast<Pixel*>(image.row(y))), static_cast<unsigned>(w),
                                   static_cast<unsigned>(rows), 32, w * 4);
        if (!img) return;
        img->byte_order = LSBFirst;  // our pixels in the machine's order; Xlib swaps for the server
        XPutImage(dpy, target, gc, img, area.left, 0, area.left, y, static_cast<unsigned>(area.width()),
                  static_cast<unsigned>(rows));
        img->data = nullptr;  // ours
        XDestroyImage(img);
      } else {
        XImage* img = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                   static_cast<unsigned>(area.width()), static_cast<unsigned>(rows), 32, 0);
        if (!img) return;
        img->data = static_cast<char*>(
            std::malloc(static_cast<std::size_t>(img->bytes_per_line) * static_cast<std::size_t>(rows)));
        if (!img->data) {
          XDestroyImage(img);
          return;
        }
        const Channel r(visual->red_mask), g(visual->green_mask), b(visual->blue_mask);
        for (int j = 0; j < rows; ++j) {
          const Pixel* src = image.row(y + j);
          for (int i = 0; i < area.width(); ++i) {
            const Pixel px = src[area.left + i];
            XPutPixel(img, i, j, r.scale((px >> 16) & 0xFF) | g.scale((px >> 8) & 0xFF) | b.scale(px & 0xFF));
          }
        }
        XPutImage(dpy, target, gc, img, 0, 0, area.left, y, static_cast<unsigned>(area.width()),
                  static_cast<unsigned>(rows));
        XDestroyImage(img);  // frees the band
      }
    }
  }
};

X11WindowHost::X11WindowHost(unsigned long parent, int width, int height, const char* displayName)
    : WindowHost(width, height), impl_(std::make_unique<Impl>(*this)) {
  showModalsApart();
  Impl& m = *impl_;
  m.dpy = XOpenDisplay(displayName);
  if (!m.dpy) throw std::runtime_error("no X display");
  {
    ErrorTrap trap(m.dpy);
    m.screen = DefaultScreen(m.dpy);
    m.root = RootWindow(m.dpy, m.screen);
    m.parent = parent;
    m.visual = DefaultVisual(m.dpy, m.screen);
    m.depth = DefaultDepth(m.dpy, m.screen);
    XWindowAttributes pa{};
    const bool parentOk = parent != 0 && XGetWindowAttributes(m.dpy, parent, &pa) != 0;
    if (parentOk && trap.errors() == 0) {
      XSetWindowAttributes a{};
      a.background_pixmap = None;
      a.border_pixel = 0;
      a.colormap = DefaultColormap(m.dpy, m.screen);
      a.event_mask = kBaseMask;
      m.win =
          XCreateWindow(m.dpy, parent, 0, 0, static_cast<unsigned>(width), static_cast<unsigned>(height), 0, m.depth,
                        InputOutput, m.visual, CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask, &a);
      // Only the parent's destruction is of interest; our mask on it is our connection's own.
      XSelectInput(m.dpy, parent, StructureNotifyMask);
      XSelectInput(m.dpy, m.root, PropertyChangeMask);
      m.systemScale = scaleOfDisplay(m.dpy);
      if (trap.errors() != 0) m.win = 0;
    }
    if (m.win) {
      int formats = 0;
      XPixmapFormatValues* f = XListPixmapFormats(m.dpy, &formats);
      int bpp = 0;
      for (int i = 0; i < formats; ++i)
        if (f[i].depth == m.depth) bpp = f[i].bits_per_pixel;
      if (f) XFree(f);
      m.direct =
          bpp == 32 && m.visual->red_mask == 0xFF0000 && m.visual->green_mask == 0xFF00 && m.visual->blue_mask == 0xFF;
      m.maxRequestBytes = XMaxRequestSize(m.dpy) * 4 - 64;
      m.gc = XCreateGC(m.dpy, m.win, 0, nullptr);
      Bool supported = False;
      // Held keys repeat as presses alone, so the on-screen keyboard sees one note per hold.
      XkbSetDetectableAutoRepeat(m.dpy, True, &supported);
      XMapWindow(m.dpy, m.win);
    }
  }
  if (!m.win) {
    XCloseDisplay(m.dpy);
    m.dpy = nullptr;
    throw std::runtime_error("the parent is not a window");
  }
}

X11WindowHost::~X11WindowHost() {
  Impl& m = *impl_;
  // A file dialog still open has nobody left to answer: it is ended here, its callback never runs.
  m.child.reset();
  m.childDone = nullptr;
  if (!m.dpy) return;
  {
    ErrorTrap trap(m.dpy);
    m.tops.closePopups();
    for (const Impl::DialogWindow& d : m.dialogs) XDestroyWindow(m.dpy, d.w);
    m.dialogs.clear();
    if (m.tookFocus) m.giveFocusBack();
    for (::Cursor c : m.cursors)
      if (c) XFreeCursor(m.dpy, c);
    if (m.gc) XFreeGC(m.dpy, m.gc);
    // A window that went with its parent is not destroyed a second time.
    if (!m.gone) XDestroyWindow(m.dpy, m.win);
  }
  XCloseDisplay(m.dpy);
}

void X11WindowHost::pumpEvents() {
  Impl& m = *impl_;
  ErrorTrap trap(m.dpy);
  while (XPending(m.dpy)) {
    XEvent ev;
    XNextEvent(m.dpy, &ev);
    m.dispatch(ev);
    m.settle();
  }
  m.pollChild();
  m.settle();
}

void X11WindowHost::fileDialog(const FileDialogRequest& request, std::function<void(const std::string&)> done) {
  Impl& m = *impl_;
  if (m.child) {  // one at a time, like a modal dialog
    if (done) done({});
    return;
  }
  if (!m.gone) {
    if (const auto program = findDialogProgram()) {
      Window top = 0;
      {
        ErrorTrap trap(m.dpy);
        top = m.hostTopLevel();
      }
      m.child = ChildFileDialog::start(program->path, dialogArguments(*program, request, top));
      if (m.child) {
        m.childProgram = program;
        m.childAttached = top != 0;
        m.childRequest = request;
        m.childDone = std::move(done);
        return;
      }
    }
  }
  WindowHost::fileDialog(request, std::move(done));
}

void X11WindowHost::present() {
  Impl& m = *impl_;
  if (m.gone) return;
  ErrorTrap trap(m.dpy);
  const Size size = deviceSize();
  const bool first = m.frame.width() != size.width || m.frame.height() != size.height || m.frame.scale() != scale();
  Rect area = first ? Rect{0, 0, size.width, size.height} : toDevice(dirty()).unite(m.exposed);
  renderDirty(m.frame);
  m.upload(m.win, m.frame, area);
  m.exposed = {};
  for (Impl::Popup& p : m.popups) {
    const bool firstPopup = p.frame.empty();
    const Size ps = p.host->deviceSize();
    const Rect pa = firstPopup ? Rect{0, 0, ps.width, ps.height} : p.host->toDevice(p.host->dirty()).unite(p.exposed);
    p.host->renderDirty(p.frame);
    m.upload(p.w, p.frame, pa);
    p.exposed = {};
  }
  for (Impl::DialogWindow& d : m.dialogs) {
    const Size before{d.frame.width(), d.frame.height()};
    Rect da = renderModal(*d.dialog, d.frame);
    if (before.width != d.frame.width() || before.height != d.frame.height()) {  // new, resized or rescaled
      if (before.width > 0)
        XResizeWindow(m.dpy, d.w, static_cast<unsigned>(d.frame.width()), static_cast<unsigned>(d.frame.height()));
      da = Rect{0, 0, d.frame.width(), d.frame.height()};
    }
    m.upload(d.w, d.frame, da.unite(d.exposed));
    d.exposed = {};
  }
  XFlush(m.dpy);
}

void X11WindowHost::setClipboardText(const std::string& text) {
  WindowHost::setClipboardText(text);
  Impl& m = *impl_;
  if (!m.dpy || m.gone || text.empty()) return;
  ErrorTrap trap(m.dpy);
  m.clipboardText = text;
  XSetSelectionOwner(m.dpy, m.atom("CLIPBOARD"), m.win, m.lastEventTime);
  XFlush(m.dpy);
}

void X11WindowHost::fetchClipboardText() {
  Impl& m = *impl_;
  if (!m.dpy || m.gone) {
    deliverClipboardText({});
    return;
  }
  ErrorTrap trap(m.dpy);
  const Atom clipboard = m.atom("CLIPBOARD");
  const Window owner = XGetSelectionOwner(m.dpy, clipboard);
  if (owner == m.win || owner == 0) {
    deliverClipboardText(owner == m.win ? m.clipboardText : std::string());
    return;
  }
  m.pasteAsked = true;
  XConvertSelection(m.dpy, clipboard, m.atom("UTF8_STRING"), m.atom("KORVO_PASTE"), m.win, m.lastEventTime);
  XFlush(m.dpy);
}

void X11WindowHost::modalOpened(Control& dialog) { impl_->tops.openDialog(dialog); }
void X11WindowHost::modalClosing(Control& dialog) { impl_->tops.closeDialog(dialog); }

Point X11WindowHost::windowOrigin() const {
  const Impl& m = *impl_;
  if (m.gone) return {};
  ErrorTrap trap(m.dpy);
  return m.rootPosition(m.win);
}

Point X11WindowHost::pointerPosition() const {
  const Impl& m = *impl_;
  ErrorTrap trap(m.dpy);
  Window r = 0, c = 0;
  int rx = 0, ry = 0, wx = 0, wy = 0;
  unsigned mask = 0;
  XQueryPointer(m.dpy, m.root, &r, &c, &rx, &ry, &wx, &wy, &mask);
  return {rx, ry};
}

void X11WindowHost::setPointerPosition(Point screen) {
  Impl& m = *impl_;
  // May be refused (XWayland): the pointer then simply stays.
  ErrorTrap trap(m.dpy);
  XWarpPointer(m.dpy, None, m.root, 0, 0, 0, 0, screen.x, screen.y);
}

MenuItem* X11WindowHost::popupMenu(PopupMenu& menu, Point screen) {
  Impl& m = *impl_;
  if (m.gone) return nullptr;
  ErrorTrap trap(m.dpy);
  m.tops.closePopups();
  m.tops.openLevel(menu, screen);
  return nullptr;
}

void X11WindowHost::setScale(int percent) {
  WindowHost::setScale(percent);
  Impl& m = *impl_;
  if (!m.dpy || m.gone) return;
  ErrorTrap trap(m.dpy);
  const Size size = deviceSize();
  XResizeWindow(m.dpy, m.win, static_cast<unsigned>(size.width), static_cast<unsigned>(size.height));
}

int X11WindowHost::systemScale() const { return impl_->systemScale; }

unsigned long X11WindowHost::window() const { return impl_->win; }
unsigned long X11WindowHost::dialogWindow(std::size_t i) const {
  return i < impl_->dialogs.size() ? impl_->dialogs[i].w : 0;
}
bool X11WindowHost::windowGone() const { return impl_->gone; }
bool X11WindowHost::holdsFocus() const { return impl_->tookFocus; }
std::size_t X11WindowHost::openPopups() const { return impl_->popups.size(); }
long X11WindowHost::fileDialogProcess() const { return impl_->child ? static_cast<long>(impl_->child->pid()) : 0; }

}  // namespace korvo
