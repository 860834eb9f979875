// korvinst on Windows: the setup window (folder list, drive list, path label, Install, Abort, and
// which plug-ins: VST 2, CLAP) over TForm1, native message boxes, the registry; or, with /S, the
// unattended mode.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "setupFileSystem.h"
#include "setupStart.h"
#include "uSetup.h"

using namespace korvo;
using namespace korvo::setup;

namespace {

// The form's colours as stored colour values (0x00BBGGRR, the layout of a COLORREF).
constexpr COLORREF kFormColor = 3089186;
constexpr COLORREF kFontColor = 11969957;
constexpr int kOuterWidth = 430, kOuterHeight = 364;

enum ControlId {
  kImage1 = 100,
  kLabel1,
  kDirectoryList,
  kDriveCombo,
  kPathLabel,
  kOkButton,
  kCancelButton,
  kVst2Box,
  kClapBox,
  kClapLabel
};

class BoxMessages : public SetupMessages {
 public:
  HWND owner = nullptr;
  Answer show(const std::string& text, const std::string& caption, bool) override {
    return MessageBoxA(owner, text.c_str(), caption.c_str(), MB_OKCANCEL) == IDOK ? Answer::Ok : Answer::Cancel;
  }
};

struct Window {
  TForm1* form = nullptr;
  SetupEnvironment* env = nullptr;
  HWND hwnd = nullptr, list = nullptr, drives = nullptr, path = nullptr;
  HFONT font = nullptr, bold = nullptr, logo = nullptr;
  HBRUSH back = nullptr;
  bool installed = false;
};
Window g;

HWND child(HWND parent, const char* cls, const char* text, DWORD style, int x, int y, int w, int h, int id) {
  HWND c = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
  SendMessageA(c, WM_SETFONT, reinterpret_cast<WPARAM>(g.font), FALSE);
  return c;
}

// The controls show the form's state again after every change of it.
void showForm() {
  SendMessageA(g.list, WM_SETREDRAW, FALSE, 0);
  SendMessageA(g.list, LB_RESETCONTENT, 0, 0);
  int current = -1;
  const auto& rows = g.form->directoryEntries();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    SendMessageA(g.list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rows[i].label.c_str()));
    if (rows[i].current) current = static_cast<int>(i);
  }
  SendMessageA(g.list, LB_SETCURSEL, static_cast<WPARAM>(current), 0);
  SendMessageA(g.list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(g.list, nullptr, TRUE);
  SendMessageA(g.drives, CB_SETCURSEL, static_cast<WPARAM>(g.form->driveIndex()), 0);
  SetWindowTextA(g.path, g.form->pathLabel().c_str());
}

void drawDirectoryRow(const DRAWITEMSTRUCT& d) {
  const auto& rows = g.form->directoryEntries();
  if (d.itemID >= rows.size()) return;
  const DirectoryEntry& row = rows[d.itemID];
  const bool selected = (d.itemState & ODS_SELECTED) != 0;
  HDC dc = d.hDC;
  FillRect(dc, &d.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  // A folder glyph, opened for the path down to the current folder, indented by depth.
  const int x = d.rcItem.left + 3 + row.depth * 9, y = d.rcItem.top + 3;
  bool open = false;  // rows down to the current folder come first
  for (std::size_t i = d.itemID; i < rows.size() && !open; ++i) open = rows[i].current;
  HBRUSH glyph = CreateSolidBrush(open ? RGB(0xF0, 0xD0, 0x60) : RGB(0xD8, 0xB0, 0x40));
  RECT tab{x, y, x + 6, y + 2}, body{x, y + 2, x + 13, y + 11};
  FillRect(dc, &tab, glyph);
  FillRect(dc, &body, glyph);
  DeleteObject(glyph);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT text = d.rcItem;
  text.left = x + 17;
  DrawTextA(dc, row.label.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if (d.itemState & ODS_FOCUS) DrawFocusRect(dc, &d.rcItem);
}

void drawLogo(const DRAWITEMSTRUCT& d) {
  FillRect(d.hDC, &d.rcItem, g.back);
  SetBkMode(d.hDC, TRANSPARENT);
  SetTextColor(d.hDC, kFontColor);
  HGDIOBJ old = SelectObject(d.hDC, g.logo);
  RECT r = d.rcItem;
  DrawTextA(d.hDC, "KORVO", -1, &r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  SelectObject(d.hDC, old);
  HBRUSH line = CreateSolidBrush(kFontColor);
  RECT under{r.left + 8, r.bottom - 2, r.right - 8, r.bottom - 1};
  FillRect(d.hDC, &under, line);
  DeleteObject(line);
}

void createControls(HWND hwnd) {
  g.font = CreateFontA(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  g.bold = CreateFontA(-13, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  g.logo = CreateFontA(-22, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, "Arial");
  child(hwnd, "STATIC", "", SS_OWNERDRAW, 288, 16, 120, 26, kImage1);
  HWND label = child(hwnd, "STATIC", "select vst plugins path:", SS_LEFT | SS_NOPREFIX, 8, 40, 240, 16, kLabel1);
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(g.bold), FALSE);
  g.list = child(
      hwnd, "LISTBOX", "",
      WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT, 8,
      64, 249, 217, kDirectoryList);
  g.drives = child(hwnd, "COMBOBOX", "", WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 8, 288, 249, 200, kDriveCombo);
  for (const std::string& d : g.form->driveList())
    SendMessageA(g.drives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d.c_str()));
  g.path = child(hwnd, "STATIC", "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 8, 312, 249, 16, kPathLabel);
  child(hwnd, "BUTTON", "Install", WS_TABSTOP | BS_DEFPUSHBUTTON, 312, 144, 75, 25, kOkButton);
  child(hwnd, "BUTTON", "Abort", WS_TABSTOP | BS_PUSHBUTTON, 312, 176, 75, 25, kCancelButton);
  // Which plug-ins: VST 2 into the folder chosen on the left, CLAP into the folder CLAP hosts scan.
  HWND vst2 = child(hwnd, "BUTTON", "VST 2 plug-in", WS_TABSTOP | BS_AUTOCHECKBOX, 272, 262, 145, 18, kVst2Box);
  SendMessageA(vst2, BM_SETCHECK, g.env->installVst2 ? BST_CHECKED : BST_UNCHECKED, 0);
  const bool offered = clapOffered(*g.env);
  HWND clap = child(hwnd, "BUTTON", "CLAP plug-in", WS_TABSTOP | BS_AUTOCHECKBOX, 272, 282, 145, 18, kClapBox);
  SendMessageA(clap, BM_SETCHECK, g.env->installClap ? BST_CHECKED : BST_UNCHECKED, 0);
  EnableWindow(clap, offered);
  child(hwnd, "STATIC", offered ? g.env->clapFolder.c_str() : "", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 272, 302,
        145, 16, kClapLabel);
  SetFocus(g.list);
  showForm();
}

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      g.hwnd = hwnd;
      createControls(hwnd);
      return 0;
    case WM_CTLCOLORSTATIC:
      SetTextColor(reinterpret_cast<HDC>(wp), kFontColor);
      SetBkColor(reinterpret_cast<HDC>(wp), kFormColor);
      return reinterpret_cast<LRESULT>(g.back);
    case WM_MEASUREITEM: {
      auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (m->CtlID == kDirectoryList) m->itemHeight = 16;
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (d->CtlID == kDirectoryList)
        drawDirectoryRow(*d);
      else if (d->CtlID == kImage1)
        drawLogo(*d);
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wp), code = HIWORD(wp);
      if (id == kDirectoryList && code == LBN_DBLCLK) {
        const LRESULT row = SendMessageA(g.list, LB_GETCURSEL, 0, 0);
        if (row != LB_ERR) g.form->openEntry(static_cast<std::size_t>(row));
        showForm();
      } else if (id == kDriveCombo && code == CBN_SELCHANGE) {
        const LRESULT drive = SendMessageA(g.drives, CB_GETCURSEL, 0, 0);
        if (drive != CB_ERR) g.form->selectDrive(static_cast<std::size_t>(drive));
        showForm();
      } else if ((id == kOkButton || id == IDOK) && code == BN_CLICKED) {
        g.installed = g.form->OkButtonClick() == InstallOutcome::Installed;
        if (g.form->closed())
          DestroyWindow(hwnd);
        else
          showForm();
      } else if ((id == kVst2Box || id == kClapBox) && code == BN_CLICKED) {
        const bool on = SendMessageA(reinterpret_cast<HWND>(lp), BM_GETCHECK, 0, 0) == BST_CHECKED;
        (id == kVst2Box ? g.env->installVst2 : g.env->installClap) = on;
      } else if ((id == kCancelButton || id == IDCANCEL) && code == BN_CLICKED) {
        g.form->CancelButtonClick();
        DestroyWindow(hwnd);
      }
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(g.installed ? 0 : 1); return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

// A program without a console still writes its messages where the caller can read them: to a
// redirected standard error, else to the console of the command prompt that started it.
void attachStandardError() {
  HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  if (h != nullptr && h != INVALID_HANDLE_VALUE) return;
  if (AttachConsole(ATTACH_PARENT_PROCESS)) std::freopen("CONOUT$", "w", stderr);
}

int runWindow(SetupEnvironment& env, BoxMessages& boxes, const std::string& start, HINSTANCE instance, int show) {
  TForm1 form(env, start);
  g.form = &form;
  g.env = &env;
  g.back = CreateSolidBrush(kFormColor);
  WNDCLASSA wc{};
  wc.lpfnWndProc = formProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
  wc.hbrBackground = g.back;
  wc.lpszClassName = "TForm1";
  if (!RegisterClassA(&wc)) return 1;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - kOuterWidth) / 2;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - kOuterHeight) / 2;
  HWND hwnd = CreateWindowExA(0, "TForm1", "Korvo setup", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x,
                              y, kOuterWidth, kOuterHeight, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  boxes.owner = hwnd;
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG msg;
  int status = 1;
  for (;;) {
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      status = static_cast<int>(msg.wParam);
      break;
    }
    if (got < 0) break;
    if (!IsDialogMessageA(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  boxes.owner = nullptr;
  DeleteObject(g.font);
  DeleteObject(g.bold);
  DeleteObject(g.logo);
  DeleteObject(g.back);
  g = Window{};
  return status;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  const CommandLine line = parseCommandLine(std::vector<std::string>(__argv + 1, __argv + __argc));
  if (line.unattended || !line.error.empty()) attachStandardError();
  if (!line.error.empty()) return reportCommandLineError(line);
  BoxMessages boxes;
  SystemSetup system(line, boxes, "Korvo.dll");
  SetupEnvironment& env = system.env;
  env.standaloneFile = "Korvo.exe";
  const std::string start = line.folder.empty() ? std::string("c:\\") : line.folder;
  if (line.unattended) return runUnattended(env, start);
  return runWindow(env, boxes, start, instance, show);
}
