#include "clapEditor.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "plugInstance.h"

namespace korvo {

using namespace clap;

const char* CclapEditor::api() {
#if defined(_WIN32)
  return CLAP_WINDOW_API_WIN32;
#else
  return CLAP_WINDOW_API_X11;
#endif
}

CclapEditor::CclapEditor(const clap_host* host, CplugInstance& instance, EditorWindowFactory factory)
    : host_(host), instance_(instance), factory_(std::move(factory)) {
  hostGui_ = hostExtension<clap_host_gui>(host, CLAP_EXT_GUI);
  hostTimer_ = hostExtension<clap_host_timer_support>(host, CLAP_EXT_TIMER_SUPPORT);
}

CclapEditor::~CclapEditor() { destroy(); }

bool CclapEditor::isApiSupported(const char* name, bool floating) const {
  return !floating && name && std::strcmp(name, api()) == 0 && factory_;
}

bool CclapEditor::create(const char* name, bool floating) {
  if (created_ || !isApiSupported(name, floating)) return false;
  const bool timer = hostTimer_ && hostTimer_->register_timer && hostTimer_->register_timer(host_, kTimerMs, &timer_);
  if (!timer) timer_ = CLAP_INVALID_ID;
#if !defined(_WIN32)
  if (!timer) return false;
#endif
  created_ = true;
  return true;
}

void CclapEditor::destroy() {
  window_.reset();
  if (timer_ != CLAP_INVALID_ID && hostTimer_ && hostTimer_->unregister_timer)
    hostTimer_->unregister_timer(host_, timer_);
  timer_ = CLAP_INVALID_ID;
  created_ = false;
}

int CclapEditor::userScale() const { return instance_.settings().editorScale; }

int CclapEditor::scale() {
  if (window_) return window_->scale();
  if (systemScale_ < 0) systemScale_ = std::max(0, systemEditorScale());
  return resolveEditorScale(userScale(), hostScale_ * 100.0, systemScale_);
}

bool CclapEditor::setScale(double factor) {
  if (!std::isfinite(factor) || factor <= 0 || factor > 8) return false;
  hostScale_ = factor;
  followUnlessChosen();
  return true;
}

void CclapEditor::followUnlessChosen() {
  if (!window_ || validEditorScale(userScale())) return;
  const int before = window_->scale();
  window_->setScale(resolveEditorScale(0, hostScale_ * 100.0, window_->systemScale()));
  if (window_->scale() != before) askHostToResize();
}

void CclapEditor::size(std::uint32_t& width, std::uint32_t& height) {
  const int s = scale();
  width = static_cast<std::uint32_t>(scaleCoord(TplugEditForm::kWidth, s));
  height = static_cast<std::uint32_t>(scaleCoord(TplugEditForm::kHeight, s));
}

bool CclapEditor::setSize(std::uint32_t width, std::uint32_t height) {
  std::uint32_t w = 0, h = 0;
  size(w, h);
  return width == w && height == h;
}

void CclapEditor::askHostToResize() {
  std::uint32_t w = 0, h = 0;
  size(w, h);
  if (hostGui_ && hostGui_->request_resize) hostGui_->request_resize(host_, w, h);
}

bool CclapEditor::setParent(const clap_window& window) {
  if (!created_ || window_ || !window.api || std::strcmp(window.api, api()) != 0) return false;
#if defined(_WIN32)
  void* parent = window.win32;
#else
  void* parent = reinterpret_cast<void*>(static_cast<std::uintptr_t>(window.x11));
#endif
  if (!parent) return false;
  window_ = factory_(parent, instance_);
  if (!window_) return false;
  window_->setScale(resolveEditorScale(userScale(), hostScale_ * 100.0, window_->systemScale()));
  window_->onScaleChosen = [this](int) { askHostToResize(); };
  window_->onSystemScaleChanged = [this] {
    systemScale_ = -1;
    followUnlessChosen();
  };
  return true;
}

bool CclapEditor::show() {
  if (!window_) return false;
  window_->show();
  return true;
}

void CclapEditor::onTimer(clap_id timer) {
  if (timer != timer_ || !window_) return;
  window_->idle();
  if (afterIdle) afterIdle();
}

}  // namespace korvo
