// The X11 UI: the instance's editor in the host's window (ui:parent), driven by the idle
// interface, sized through ui:resize and at the host's ui:scaleFactor where it gives one. It
// reaches the instance through instance-access; edits made inside Korvo are drained at each idle
// and written to the host's control ports, so automation lanes follow the editor. Everything here
// runs on the host's UI thread.
#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/options/options.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>

#include "editorWindow.h"
#include "lv2NoteWindow.h"
#include "lv2Ports.h"
#include "lv2Synth.h"

namespace {

using namespace korvo;
using korvo::lv2::Lv2Synth;

class Lv2Ui {
 public:
  Lv2Ui(LV2UI_Write_Function write, LV2UI_Controller controller) : write_(write), controller_(controller) {}

  // Null when the host gives no parent window.
  static std::unique_ptr<Lv2Ui> create(LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                                       const LV2_Feature* const* features) {
    void* parent = nullptr;
    Lv2Synth* synth = nullptr;
    const LV2_URID_Map* map = nullptr;
    const LV2_Options_Option* options = nullptr;
    auto ui = std::make_unique<Lv2Ui>(write, controller);
    for (auto f = features; f && *f; ++f) {
      const char* uri = (*f)->URI;
      if (std::strcmp(uri, LV2_UI__parent) == 0) parent = (*f)->data;
      if (std::strcmp(uri, LV2_INSTANCE_ACCESS_URI) == 0) synth = static_cast<Lv2Synth*>((*f)->data);
      if (std::strcmp(uri, LV2_URID__map) == 0) map = static_cast<const LV2_URID_Map*>((*f)->data);
      if (std::strcmp(uri, LV2_OPTIONS__options) == 0) options = static_cast<const LV2_Options_Option*>((*f)->data);
      if (std::strcmp(uri, LV2_UI__resize) == 0 && (*f)->data)
        ui->resize_ = *static_cast<const LV2UI_Resize*>((*f)->data);
    }
    if (!parent) return nullptr;
    if (map && options) ui->readScale(*map, options);
    const auto parentWindow = reinterpret_cast<std::uintptr_t>(parent);
    if (!synth) {
      ui->note_ = std::make_unique<lv2::NoteWindow>(parentWindow);
      *widget = reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(ui->note_->window()));
      ui->requestSize(lv2::NoteWindow::kWidth, lv2::NoteWindow::kHeight);
      return ui;
    }
    ui->synth_ = synth;
    ui->restoresSeen_ = synth->restoreCount();
    ui->window_ = editorWindowFactory(platformWindowHosts())(parent, synth->instance());
    if (!ui->window_) return nullptr;
    ui->window_->onScaleChosen = [raw = ui.get()](int) { raw->sizeChanged(); };
    ui->window_->onSystemScaleChanged = [raw = ui.get()] { raw->followUnlessChosen(); };
    ui->window_->setScale(resolveEditorScale(ui->userScale(), ui->hostScale_ * 100.0, ui->window_->systemScale()));
    ui->window_->show();
    *widget = reinterpret_cast<LV2UI_Widget>(static_cast<std::uintptr_t>(ui->window_->nativeWindow()));
    ui->sizeChanged();
    return ui;
  }

  int idle() {
    if (note_) note_->idle();
    if (!window_) return 0;
    // A state restored by the host changed the sound behind the editor's back.
    if (const std::uint32_t restores = synth_->restoreCount(); restores != restoresSeen_) {
      restoresSeen_ = restores;
      window_->refresh();
    }
    window_->idle();
    synth_->instance().drainParamChanges([this](int id, int value) {
      const auto* p = paramList().find(id);
      const auto index = static_cast<std::size_t>(p - paramList().all().data());
      const float v = static_cast<float>(value);
      write_(controller_, lv2::controlPort(index), sizeof v, 0, &v);
    });
    return 0;
  }

 private:
  void readScale(const LV2_URID_Map& map, const LV2_Options_Option* options) {
    const LV2_URID key = map.map(map.handle, LV2_UI__scaleFactor);
    const LV2_URID floatType = map.map(map.handle, LV2_ATOM__Float);
    for (auto o = options; o->key != 0; ++o) {
      if (o->key != key || o->type != floatType || o->size != sizeof(float) || !o->value) continue;
      const float factor = *static_cast<const float*>(o->value);
      if (std::isfinite(factor) && factor > 0 && factor <= 8) hostScale_ = factor;
    }
  }
  int userScale() const { return synth_->instance().settings().editorScale; }
  void followUnlessChosen() {
    if (validEditorScale(userScale())) return;
    window_->setScale(resolveEditorScale(0, hostScale_ * 100.0, window_->systemScale()));
    sizeChanged();
  }
  void sizeChanged() {
    const int s = window_->scale();
    requestSize(scaleCoord(TplugEditForm::kWidth, s), scaleCoord(TplugEditForm::kHeight, s));
  }
  void requestSize(int width, int height) {
    if (resize_.ui_resize) resize_.ui_resize(resize_.handle, width, height);
  }

  LV2UI_Write_Function write_;
  LV2UI_Controller controller_;
  LV2UI_Resize resize_{};
  double hostScale_ = 0;
  Lv2Synth* synth_ = nullptr;
  std::uint32_t restoresSeen_ = 0;
  std::unique_ptr<IEditorWindow> window_;
  std::unique_ptr<lv2::NoteWindow> note_;
};

Lv2Ui* ui(LV2UI_Handle handle) { return static_cast<Lv2Ui*>(handle); }

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char*, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
  try {
    return Lv2Ui::create(write, controller, widget, features).release();
  } catch (...) {
    return nullptr;
  }
}

void cleanup(LV2UI_Handle handle) { delete ui(handle); }
// The values come from the instance itself (the editor shows the sound); nothing to do here.
void portEvent(LV2UI_Handle, uint32_t, uint32_t, uint32_t, const void*) {}
int idle(LV2UI_Handle handle) { return ui(handle)->idle(); }

const void* extensionData(const char* uri) {
  static const LV2UI_Idle_Interface idleInterface{idle};
  return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idleInterface : nullptr;
}

const LV2UI_Descriptor descriptor{korvo::lv2::kUiUri, instantiate, cleanup, portEvent, extensionData};

}  // namespace

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &descriptor : nullptr;
}
