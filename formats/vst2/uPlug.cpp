#include "uPlug.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "VSTaux.h"
#include "editorWindow.h"

namespace korvo {

using namespace vst;

namespace {
void copyText(char* destination, std::size_t capacity, const char* text) {
  std::strncpy(destination, text, capacity - 1);
  destination[capacity - 1] = '\0';
}
}  // namespace

AEffect* createEffect(audioMasterCallback audioMaster, InstanceEnvironment environment) {
  if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  CSynth* synth = nullptr;
  try {
    synth = new CSynth(audioMaster, editorWindowFactory(platformWindowHosts()), std::move(environment));
  } catch (...) {
    return nullptr;
  }
  if (auto* editor = static_cast<CSynthEditor*>(synth->getEditor())) editor->systemScaleQuery = systemEditorScale;
  return synth->getAeffect();
}

// CSynth ------------------------------------------------------------------------------------------

CSynth::CSynth(audioMasterCallback hostCallback, EditorWindowFactory editorFactory, InstanceEnvironment environment)
    : AudioEffectX(hostCallback, 0, 0), hostEvents_(CMidiParser::kCapacity) {
  if (hostCallback) {
    setNumInputs(0);
    setNumOutputs(2);
    canProcessReplacing(true);
    hasVu(false);
    hasClip(false);
    isSynth(true);
    programsAreChunks(true);
    setUniqueID(fourCC("Krvo"));
  }
  try {
    instance_ = std::make_unique<CplugInstance>(roundCurrent(sampleRate), std::move(environment));
  } catch (...) {
    instance_.reset();  // out of memory: the plug-in still loads and renders silence
  }
  new CSynthEditor(this, std::move(editorFactory));
  suspend();
}

CSynth::~CSynth() {
  // An open editor window is closed while the engine it shows is still alive (the base
  // destructor would do it only after the engine is gone).
  delete editor_;
  setEditor(nullptr);
  instance_.reset();  // then the instance: it writes the backup file and the settings
}

void CSynth::setSampleRate(float rate) {
  AudioEffectX::setSampleRate(rate);
  if (instance_) instance_->setSampleRate(rate);
}

void CSynth::setBlockSize(VstInt32 size) { AudioEffectX::setBlockSize(size); }

void CSynth::render(bool replace, float** outputs, VstInt32 frames) {
  float* left = outputs ? outputs[0] : nullptr;
  float* right = outputs ? outputs[1] : nullptr;
  if (instance_) {
    instance_->render(replace, left, frames, right);  // it keeps the events of a call it cannot render
    return;
  }
  if (!left || !right || frames <= 0) return;
  // No engine: silence in both modes.
  std::memset(left, 0, sizeof(float) * static_cast<std::size_t>(frames));
  std::memset(right, 0, sizeof(float) * static_cast<std::size_t>(frames));
}

void CSynth::process(float**, float** outputs, VstInt32 frames) { render(false, outputs, frames); }

void CSynth::processReplacing(float**, float** outputs, VstInt32 frames) { render(true, outputs, frames); }

VstInt32 CSynth::getChunk(void** data, bool) {
  if (!data) return 0;
  *data = nullptr;
  if (!instance_) return 0;
  chunk_ = instance_->state();
  if (chunk_.empty()) return 0;
  *data = chunk_.data();
  return static_cast<VstInt32>(chunk_.size());
}

VstInt32 CSynth::setChunk(void* data, VstInt32 byteSize, bool) {
  if (instance_ && byteSize > 0) instance_->setState(data, static_cast<std::size_t>(byteSize));
  if (editor_) editor_->postUpdate();
  return 0;
}

void CSynth::resume() { wantEvents(1); }

VstInt32 CSynth::processEvents(VstEvents* events) {
  if (!instance_) return 0;
  instance_->processEvents({hostEvents_.data(), fromHostEvents(events, hostEvents_)});
  return 1;
}

bool CSynth::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
  if (index < 0 || index > 1 || !properties) return false;
  std::snprintf(properties->label, sizeof properties->label, "Korvo %d", static_cast<int>(index));
  properties->flags = kVstPinIsActive | kVstPinIsStereo;
  return true;
}

bool CSynth::getEffectName(char* name) {
  if (!name) return false;
  copyText(name, kVstMaxEffectNameLen, "Korvo-P");
  return true;
}

VstInt32 CSynth::canDo(char* text) { return text && std::string_view(text) == "receiveVstMidiEvent" ? 1 : -1; }

VstIntPtr CSynth::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  // The scale hint some hosts send for their HiDPI screens.
  if (index == static_cast<VstInt32>(fourCC("PreS")) && value == static_cast<VstIntPtr>(fourCC("AeCs"))) {
    if (auto* editor = static_cast<CSynthEditor*>(editor_)) editor->setHostScale(opt);
    return 1;
  }
  return AudioEffectX::vendorSpecific(index, value, ptr, opt);
}

// CSynthEditor ------------------------------------------------------------------------------------

CSynthEditor::CSynthEditor(CSynth* synth, EditorWindowFactory factory)
    : AEffEditor(synth), factory_(std::move(factory)) {
  synth->setEditor(this);
}

CSynthEditor::~CSynthEditor() {
  if (openCount_ > 0) {
    openCount_ = 1;
    close();
  }
}

namespace {
constexpr int kEditorWidth = 562;
constexpr int kEditorHeight = 346;
}  // namespace

int CSynthEditor::userScale() const {
  CplugInstance* instance = static_cast<CSynth*>(effect)->instance();
  return instance ? instance->settings().editorScale : 0;
}

int CSynthEditor::scale() {
  if (window_) return window_->scale();
  if (systemScale_ < 0) systemScale_ = systemScaleQuery ? std::max(0, systemScaleQuery()) : 0;
  return resolveEditorScale(userScale(), hostScale_ * 100.0, systemScale_);
}

ERect CSynthEditor::scaledRect() {
  const int s = scale();
  return ERect{0, 0, static_cast<std::int16_t>(scaleCoord(kEditorHeight, s)),
               static_cast<std::int16_t>(scaleCoord(kEditorWidth, s))};
}

void CSynthEditor::sizeChanged() {
  const ERect r = scaledRect();
  if (r.right == rect_.right && r.bottom == rect_.bottom) return;
  rect_ = r;
  static_cast<CSynth*>(effect)->sizeWindow(r.right, r.bottom);
}

void CSynthEditor::setHostScale(float factor) {
  if (!std::isfinite(factor) || factor <= 0 || factor > 8) return;
  hostScale_ = factor;
  followUnlessChosen();
}

void CSynthEditor::followUnlessChosen() {
  if (!window_ || validEditorScale(userScale())) return;
  window_->setScale(resolveEditorScale(0, hostScale_ * 100.0, window_->systemScale()));
  sizeChanged();
}

bool CSynthEditor::getRect(ERect** rect) {
  // One rectangle for the editor's life: hosts may keep the pointer.
  rect_ = scaledRect();
  if (rect) *rect = &rect_;
  return true;
}

bool CSynthEditor::open(void* parentWindow) {
  systemWindow = parentWindow;
  parent_ = parentWindow;
  ++openCount_;
  CplugInstance* instance = static_cast<CSynth*>(effect)->instance();
  if (openCount_ == 1 && factory_ && instance) {
    window_ = factory_(parentWindow, *instance);
    if (window_) {
      window_->setScale(resolveEditorScale(userScale(), hostScale_ * 100.0, window_->systemScale()));
      window_->onScaleChosen = [this](int) { sizeChanged(); };
      window_->onSystemScaleChanged = [this] {
        systemScale_ = -1;
        followUnlessChosen();
      };
    }
  }
  if (window_) {
    window_->show();
    // A host that asked for the size before the open got it at the scale known then.
    sizeChanged();
    return true;
  }
  return false;
}

void CSynthEditor::idle() {
  AEffEditor::idle();
  if (window_) window_->idle();
}

// Keys a host passes on (some pass every key it gets, some a key it also lets through to the
// window): used only while the window wants keys (1); otherwise the host keeps them (0). With no
// window open the layer's default answer stays.
VstInt32 CSynthEditor::onKeyDown(VstKeyCode& k) {
  if (!window_) return AEffEditor::onKeyDown(k);
  return window_->hostKey(true, k.character, k.virt, k.modifier) ? 1 : 0;
}

VstInt32 CSynthEditor::onKeyUp(VstKeyCode& k) {
  if (!window_) return AEffEditor::onKeyUp(k);
  return window_->hostKey(false, k.character, k.virt, k.modifier) ? 1 : 0;
}

void CSynthEditor::update() {
  if (window_) window_->refresh();
}

void CSynthEditor::close() {
  // An unmatched close must not drive the count negative, or the next open would never create
  // the window again.
  if (openCount_ <= 0) return;
  if (--openCount_ == 0) {
    window_.reset();
    parent_ = nullptr;
    systemWindow = nullptr;
  }
}

}  // namespace korvo
