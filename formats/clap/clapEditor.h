// The gui extension: CclapEditor opens the instance's editor window inside the host's window
// (X11 on Linux, Win32 on Windows) and drives it from the host's timer instead of a thread of our
// own. Sizes are physical pixels: the editor's size at its scale (100 to 300 %). Main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "clapAbi.h"
#include "editorWindow.h"

namespace korvo {

class CclapEditor {
 public:
  // The window system this build embeds into: "x11" or "win32".
  static const char* api();
  // How often the host's timer calls: the editor's display runs at about this rate.
  static constexpr std::uint32_t kTimerMs = 20;

  CclapEditor(const clap::clap_host* host, CplugInstance& instance, EditorWindowFactory factory);
  ~CclapEditor();
  CclapEditor(const CclapEditor&) = delete;
  CclapEditor& operator=(const CclapEditor&) = delete;

  bool isApiSupported(const char* api, bool floating) const;
  // Embedded windows only. On X11 the window's events come from the host's timer, so a host
  // without timer-support gets no editor there.
  bool create(const char* api, bool floating);
  void destroy();
  // The host's scale factor: followed unless the user chose a size in the editor.
  bool setScale(double factor);
  void size(std::uint32_t& width, std::uint32_t& height);
  bool setSize(std::uint32_t width, std::uint32_t height);
  bool setParent(const clap::clap_window& window);
  bool show();
  // The host's timer: the window's events and display tick, then `afterIdle`.
  void onTimer(clap::clap_id timer);
  std::function<void()> afterIdle;

  // The scale the editor has (open) or will have (closed).
  int scale();
  IEditorWindow* window() const { return window_.get(); }

 private:
  void followUnlessChosen();
  void askHostToResize();
  int userScale() const;

  const clap::clap_host* host_;
  const clap::clap_host_gui* hostGui_ = nullptr;
  const clap::clap_host_timer_support* hostTimer_ = nullptr;
  CplugInstance& instance_;
  EditorWindowFactory factory_;
  std::unique_ptr<IEditorWindow> window_;
  bool created_ = false;
  clap::clap_id timer_ = clap::CLAP_INVALID_ID;
  double hostScale_ = 0;
  int systemScale_ = -1;  // queried once, at the first need
};

}  // namespace korvo
