#include "plugEdit.h"

#include <algorithm>
#include <cmath>

#include "VSTaux.h"
#include "dialog.h"
#include "artworkData.h"
#include "editorEngine.h"
#include "lcdSetup.h"
#include "panelArt.h"
#include "progRecord.h"
#include "soundMan.h"
#include "uAboutForm.h"
#include "uControllersForm.h"
#include "uSelSingleForm.h"

namespace korvo {

namespace {
constexpr TColor kWindowColour = 3089186;
constexpr TColor kPanelColour = 5653829;
constexpr TColor kTextColour = 11969957;
constexpr TColor kRedBar = 2359417;
constexpr unsigned kBitDump = 1;
constexpr unsigned kBitRefresh = 2;
// Ticks handled at one idle at most: a host that idles late gets the time back, not a burst.
constexpr unsigned kMaxTicksPerIdle = 4;

void loadStrip(TAniGIF& strip, const char* name) {
  strip.RessourceName = name;
  strip.drawAtScale = [name](int frame, int percent) { return artwork::drawPicture(name, frame, percent); };
  if (const artwork::EmbeddedFile* f = artwork::findArtwork(name)) {
    strip.SetGIFBytes({f->data, f->data + f->size});
    strip.Loaded();
  }
}

ImageBox* addPicture(Control& parent, const char* name, int x, int y, int w, int h) {
  auto* box = parent.add<ImageBox>();
  box->setBounds(x, y, w, h);
  TAniGIF strip;
  loadStrip(strip, name);
  if (const Image* frame = strip.Frame(0)) box->setPicture(*frame);
  box->drawAtScale = [name](int percent) { return artwork::drawPicture(name, 0, percent); };
  return box;
}

}  // namespace

TplugEditForm::TplugEditForm(TimerEventService* timerService) : timerService_(timerService) {
  name = "plugEditForm";
  setBounds(0, 0, kWidth, kHeight);
  colour = fromTColor(kWindowColour);
  font = Font{"Arial", -11, false, true};
  fontColour = fromTColor(kTextColour);
  buildComponents();
  buildMenus();
}

TplugEditForm::~TplugEditForm() {
  *alive_ = false;
  // A word still waiting for its controller would be bound later with nobody told.
  if (learning_ >= 0 && engine_ && engine_->learningWord() == learning_) engine_->cancelLearn();
  if (nameTracked_) nameBoxFocus(false);
  while (keyHookCount_ > 0) ReleaseKeyHook();
  if (timer_) timer_->Stop();
  timer_.reset();
  ctr_.reset();
  midi_.reset();
  knobs.fill(nullptr);
}

Ckv_soundMan& TplugEditForm::sounds() { return engine_->soundMan(); }

void TplugEditForm::SetEngine(IEditorEngine* engine) { engine_ = engine; }

void TplugEditForm::SetMidiExchange(std::unique_ptr<IMidiExchange> midi) {
  midi_ = std::move(midi);
  updateMidiOptions();
}

void TplugEditForm::AddOptionsCommand(const std::string& caption, std::function<void()> run) {
  if (!hasOptionsCommands_) menuOptionsPopup.addSeparator();
  hasOptionsCommands_ = true;
  menuOptionsPopup.addItem(caption, 0, [run = std::move(run)](MenuItem&) {
    if (run) run();
  });
}

void TplugEditForm::updateMidiOptions() {
  if (MenuItem* i = menuOptionsPopup.find("SysEx from the host")) {
    i->enabled = midi_ != nullptr;
    i->checked = midi_ && midi_->hostSysEx();
  }
  for (int ms : kPauseChoices)
    if (MenuItem* i = menuOptionsPopup.findTag(ms)) i->checked = midi_ && midi_->pauseMs() == ms;
}

// Components -----------------------------------------------------------------------------------------

void TplugEditForm::buildComponents() {
  loadStrip(KnobGif, "knob2.gif");
  loadStrip(upDownGif, "browseButtons.gif");
  loadStrip(ButtGIF, "butt.gif");

  menuFileImage = addPicture(*this, "menuFile.gif", 8, 2, 33, 18);
  menuFileImage->hint = "File menu";
  menuOptImage = addPicture(*this, "menuOptions.gif", 48, 2, 60, 18);
  menuOptImage->hint = "Options menu";
  menuInfoImage = addPicture(*this, "menuInfo.gif", 112, 2, 41, 18);
  menuInfoImage->hint = "Info menu";
  for (ImageBox* m : {menuFileImage, menuOptImage, menuInfoImage}) m->cursor = Cursor::HandPoint;

  StatusPanel2 = add<Panel>();
  StatusPanel2->setBounds(477, 3, 73, 18);
  StatusPanel2->border = Panel::Border::None;
  StatusPanel2->colour = colour;
  StatusPanel2->hint = "Voices used / available";
  StatusLabel2 = StatusPanel2->add<Label>();
  StatusLabel2->setBounds(0, 1, 73, 16);
  StatusLabel2->alignment = Align::Right;
  StatusLabel2->font = font;
  StatusLabel2->fontColour = fontColour;
  StatusLabel2->hint = StatusPanel2->hint;

  progPanel = add<Panel>();
  progPanel->setBounds(8, 22, 543, 50);
  progPanel->colour = fromTColor(kPanelColour);
  progPanel->borderColour = fromTColor(kWindowColour);
  progIdxLabel = progPanel->add<Label>();
  progIdxLabel->setBounds(11, 15, 34, 20);
  progIdxLabel->font = Font{"Arial", -16, true};
  progIdxLabel->fontColour = fontColour;
  progIdxLabel->hint = "Sound program number";
  progNameEdit = progPanel->add<TextBox>();
  progNameEdit->setBounds(47, 14, 161, 22);
  progNameEdit->upperCase = true;
  progNameEdit->maxLength = kNameCapacity;
  progNameEdit->colour = fromTColor(kWindowColour);
  progNameEdit->fontColour = fontColour;
  progNameEdit->font = font;
  progNameEdit->border = false;
  progNameEdit->hint = "Current sound program";

  struct ButtonSpec {
    TGraphButton** field;
    const TAniGIF* strip;
    int index, x, y;
    const char* hint;
  };
  const ButtonSpec buttons[] = {
      {&upButton, &upDownGif, 0, 215, 7, "Load next sound program"},
      {&downButton, &upDownGif, 2, 215, 26, "Load previous sound program"},
      {&writeButton, &ButtGIF, 2, 264, 20, "Write sound program to library"},
      {&initButton, &ButtGIF, 2, 312, 20, "Initialize sound program"},
      {&sysExSendButton, &ButtGIF, 0, 376, 20, "Send sound to Pemmet/Halvet"},
      {&sysExReqButton, &ButtGIF, 0, 424, 20, "Request sound from Pemmet/Halvet"},
      {&panicButton, &ButtGIF, 4, 488, 20, "Reset all voices"},
  };
  for (const ButtonSpec& b : buttons) {
    TGraphButton* g = progPanel->add<TGraphButton>();
    g->setAniGIF(b.strip);
    g->setAniIdx(b.index);
    g->setHasTwoFrames(true);
    g->setPosition(b.x, b.y);
    g->hint = b.hint;
    g->cursor = Cursor::HandPoint;
    *b.field = g;
  }
  const char* captions[] = {"capWrite.gif", "capInit.gif", "capSend.gif", "capRequest.gif", "capPanic.gif"};
  const int captionX[] = {260, 310, 371, 420, 484};
  for (std::size_t i = 0; i < captionImages.size(); ++i)
    captionImages[i] = addPicture(*progPanel, captions[i], captionX[i], 4, 48, 14);

  displayPanel = add<Panel>();
  displayPanel->setBounds(8, 78, 543, 185);
  displayPanel->colour = fromTColor(kPanelColour);
  displayPanel->borderColour = fromTColor(kWindowColour);
  auto bar = [&](int x, int y, int w, int h, TColor c) {
    auto* s = displayPanel->add<Shape>();
    s->setBounds(x, y, w, h);
    s->brush = s->pen = fromTColor(c);
  };
  bar(0, 0, 540, 10, kRedBar);        // redBarShape
  bar(0, 172, 540, 10, kTextColour);  // greyBarShape
  bar(0, 9, 8, 164, kTextColour);     // Shape1
  bar(532, 9, 8, 164, kTextColour);   // Shape2
  lcd = displayPanel->add<TsegLCD2>();
  ApplyEditorLcdLook(*lcd);
  lcd->setPosition(19, 64);
  for (int k = 0; k < 10; ++k) {
    TGraphKnobB* knob = displayPanel->add<TGraphKnobB>();
    knob->setBounds(0, k < 5 ? 16 : 128, 40, 40);
    knob->tag = k;
    knob->cursor = Cursor::HandPoint;
    knob->setColour(1, kPanelColour);
    knob->setColour(2, 12668738);
    knob->setColour(3, 15585980);
    knob->setColour(4, kPanelColour);
    knob->setColour(5, 0x808000);  // teal
    knob->setAniGIF(&KnobGif);
    knob->setMinValue(-127);
    knob->setMaxValue(127);
    knob->setValueStep(1);
    knob->setValue(1);
    knob->SnapToZero = true;
    knob->setNumChars(5);
    knob->setNumDecimals(0);
    knob->setRadius(20);
    knob->setShowCaption(false);
    knob->setShowValue(false);
    knob->setMinFineFac(0.2f);
    knob->setMaxFinePixDist(100);
    knob->setMaxPixDist(200);
    knob->IntTruncMode = false;
    knob->OnChange = [this](TGraphKnobB& changed) { knobChanged(changed); };
    knobs[static_cast<std::size_t>(k)] = knob;
  }

  LogoImage = addPicture(*this, "logo.gif", 430, 286, 121, 33);

  MusicKeys = add<TMusicKeysSimple>();
  MusicKeys->setPosition(8, 270);
  MusicKeys->setLowestKey(36);
  MusicKeys->setHighestKey(108);
  MusicKeys->setKeyWidth(7);
  MusicKeys->multiTrigger = true;
  MusicKeys->keybPlayOnFocus = false;
  MusicKeys->colKeyboardBG = 0;
  MusicKeys->colWhiteKeys = 14406354;
  MusicKeys->colBlackKeys = 0;
  MusicKeys->colWhiteHeldKeys = 0xFFFF00;  // aqua
  MusicKeys->colBlackHeldKeys = 0x808000;  // teal
  MusicKeys->colLabelBG = 0;
  MusicKeys->colKeyLabel = kTextColour;
  MusicKeys->colCaption = 0xFFFF00;
  MusicKeys->setBlackKeyFacWidth(0.72);
  MusicKeys->setBlackKeyFacHeight(0.618);
  MusicKeys->setFont(Font{"Terminal", -12});
  MusicKeys->OnNoteOn = [this](Control&, int note) {
    if (engine_) engine_->playNote(note, 100);
  };
  MusicKeys->OnNoteOff = [this](Control&, int note) {
    if (engine_) engine_->playNote(note, 0);
  };

  Panel1 = add<Panel>();
  Panel1->setBounds(8, 330, 337, 16);
  Panel1->border = Panel::Border::None;
  Panel1->colour = colour;
  StatusLabel1 = Panel1->add<Label>();
  StatusLabel1->setBounds(2, 1, 335, 14);
  StatusLabel1->font = font;
  StatusLabel1->fontColour = fontColour;

  // Clicks and right clicks of the strip, menus and display.
  upButton->onClick = [this](Control&) {
    if (engine_) SelectProgram(sounds().CurrentProgram() + 1);
  };
  downButton->onClick = [this](Control&) {
    if (engine_) SelectProgram(sounds().CurrentProgram() - 1);
  };
  writeButton->onClick = [this](Control&) { WriteCommand(); };
  initButton->onClick = [this](Control&) { InitCommand(); };
  panicButton->onClick = [this](Control&) { PanicCommand(); };
  sysExSendButton->onClick = [this](Control&) {
    if (midi_) midi_->sendButton();
  };
  sysExReqButton->onClick = [this](Control&) {
    if (midi_) midi_->requestButton();
  };
  menuFileImage->onMouseDown = [this](Control&, const MouseEvent& e) {
    if (e.button == MouseButton::Left) popupBelow(*menuFileImage, menuFilePopup);
  };
  menuOptImage->onMouseDown = [this](Control&, const MouseEvent& e) {
    if (e.button == MouseButton::Left) popupBelow(*menuOptImage, menuOptionsPopup);
  };
  menuInfoImage->onMouseDown = [this](Control&, const MouseEvent& e) {
    if (e.button == MouseButton::Left) popupBelow(*menuInfoImage, menuInfoPopup);
  };
  progNameEdit->onMouseDown = [this](Control&, const MouseEvent& e) {
    if (e.button == MouseButton::Left && !(e.shift & kDouble)) trackNameBox();
  };
  progNameEdit->onDblClick = [this](Control&) { openProgramList(); };
  progNameEdit->onEnter = [this](TextBox&) { FocusSelf(); };
  progNameEdit->onKeyDown = [this](Control&, int key, ShiftState) {
    if (key != keys::Escape || !nameTracked_) return;
    progNameEdit->setText(nameBefore_);
    FocusSelf();
  };
  // The page menu belongs to the whole display panel, the LCD and knobs on it included.
  std::function<void(Control&, const MouseEvent&)> pageMenu = [this](Control& c, const MouseEvent& e) {
    if (e.button == MouseButton::Right) openPageMenu(c.toWindow({e.x, e.y}), wordAt(c, {e.x, e.y}));
  };
  displayPanel->onMouseUp = pageMenu;
  for (const auto& child : displayPanel->children())
    child->onMouseUp = pageMenu;  // knobs turn with the left button only
  for (TGraphButton* b :
       {upButton, downButton, writeButton, initButton, sysExSendButton, sysExReqButton, panicButton}) {
    b->onKeyDown = [this](Control&, int key, ShiftState shift) { keyDown(key, shift); };
    b->onKeyUp = [this](Control&, int key, ShiftState shift) { keyUp(key, shift); };
  }
  MusicKeys->onKeyDown = [this](Control&, int key, ShiftState) { shortcut(key); };
  wireHints(*this);
}

void TplugEditForm::wireHints(Control& c) {
  for (const auto& child : c.children()) {
    Control* ch = child.get();
    auto previous = ch->onMouseMove;
    ch->onMouseMove = [this, previous](Control& sender, const MouseEvent& e) {
      hintFrom(sender);
      if (previous) previous(sender, e);
    };
    // The knob's value box and the controls of composite controls report as their owner.
    if (!dynamic_cast<TGraphKnobB*>(ch)) wireHints(*ch);
  }
}

void TplugEditForm::hintFrom(Control& sender) {
  if (&sender == statusSender_) return;
  statusSender_ = &sender;
  SetStatusText(sender.hint);
}

void TplugEditForm::buildMenus() {
  menuPagePopup.autoPopup = false;
  SelectPopup.autoPopup = false;
  menuFilePopup.addItem("Load Library...", 0, [this](MenuItem&) { LoadLibrary(); });
  menuFilePopup.addItem("Save Library...", 0, [this](MenuItem&) { SaveLibrary(); });
  menuFilePopup.addItem("Init Library", 0, [this](MenuItem&) { InitLibrary(); });
  menuFilePopup.addSeparator();
  menuFilePopup.addItem("Request Pemmet/Halvet Single SysEx...", 0, [this](MenuItem&) {
    if (midi_) midi_->request();
  });
  menuFilePopup.addItem("Receive Pemmet/Halvet Single SysEx...", 0, [this](MenuItem&) {
    if (midi_) midi_->receive();
  });
  menuFilePopup.addItem("Send Pemmet/Halvet Single SysEx...", 0, [this](MenuItem&) {
    if (midi_) midi_->send();
  });
  menuFilePopup.addItem("Import Pemmet/Halvet Single SysEx file...", 0, [this](MenuItem&) { ImportSingle(); });
  menuFilePopup.addItem("Export Pemmet/Halvet Single SysEx file...", 0, [this](MenuItem&) { ExportSingle(); });
  menuFilePopup.addSeparator();
  menuFilePopup.addItem("Import Pemmet/Halvet Bank SysEx file...", 0, [this](MenuItem&) { ImportBank(); });
  menuFilePopup.addItem("Export Pemmet/Halvet Bank SysEx file...", 0, [this](MenuItem&) { ExportBank(); });

  PopupMenu& restore = menuOptionsPopup.addSubmenu("Mouse position is restored after...");
  restore.addItem("Popup menus", 0, [this](MenuItem& i) { setRestoreMenu(!i.checked); });
  restore.addItem("Knob turning", 0, [this](MenuItem& i) { setRestoreKnob(!i.checked); });
  menuOptionsPopup.addItem("SysEx from the host", 0, [this](MenuItem& i) {
    if (midi_) midi_->setHostSysEx(!i.checked);
    updateMidiOptions();
  });
  PopupMenu& pause = menuOptionsPopup.addSubmenu("Pause between SysEx messages");
  for (int ms : kPauseChoices) {
    MenuItem& item = pause.addItem(std::to_string(ms) + " ms", ms, [this](MenuItem& i) {
      if (midi_) midi_->setPauseMs(i.tag);
      updateMidiOptions();
    });
    item.radio = true;
  }
  // Tags are the percentages; the menu is searched through its own pointer, as tag 200 is also
  // a pause.
  menuOptionsPopup.addItem("Program change selects a program", 0, [this](MenuItem& i) {
    if (engine_) engine_->setProgramChangeSelects(!i.checked);
    updateLearnOptions();
  });
  menuOptionsPopup.addItem("MIDI controllers...", 0, [this](MenuItem&) { openControllersDialog(); });
  scaleMenu_ = &menuOptionsPopup.addSubmenu("Window size");
  for (int percent : kScaleChoices) {
    MenuItem& item = scaleMenu_->addItem(std::to_string(percent) + " %", percent, [this](MenuItem& i) {
      if (engine_) engine_->setEditorScale(i.tag);
      ShowScale(i.tag);
      if (onScaleChosen) onScaleChosen(i.tag);
    });
    item.radio = true;
  }
  ShowScale(100);
  menuInfoPopup.addItem("About...", 0, [this](MenuItem&) { ShowAbout(); });
}

// First show ------------------------------------------------------------------------------------------

void TplugEditForm::FormShow() {
  if (setUp_ || !engine_) return;
  setUp_ = true;
  SetStatusText("Welcome to Korvo.");
  SetVoiceText("");
  timer_ = std::make_unique<CsimpleTimer>(timerService_);
  timer_->action = [this](int, int) { postMessage(kMsgDisplayTick); };
  ctr_ = SetupLcdPages(*lcd, &sounds(), knobs.data());
  ctr_->refreshEnabled = 1;
  ctr_->onKnobRange = [this](ClcdCtr&, int slot, int min, int max) {
    if (slot < 0 || slot >= static_cast<int>(knobs.size())) return;
    TGraphKnobB& k = *knobs[static_cast<std::size_t>(slot)];
    k.setMinValue(static_cast<float>(min));
    k.setMaxValue(static_cast<float>(max));
    const int dist = static_cast<int>(std::trunc((static_cast<double>(max) - min + 1) * 1.5625));
    k.setMaxPixDist(std::clamp(dist, 40, 180));
  };
  ctr_->onKnobValue = [this](ClcdCtr&, int slot, int value) {
    if (slot >= 0 && slot < static_cast<int>(knobs.size()))
      knobs[static_cast<std::size_t>(slot)]->setValue(static_cast<float>(value));
  };
  ctr_->onAfterDraw = [this](ClcdCtr&) { lcd->WriteText(0, 1, 0, engine_ && sounds().Modified() ? "*C*" : "   "); };
  ctr_->onFieldMouseDown = [this](ClcdCtr&, MouseButton, int ordinal) { highlight(ordinal); };
  ctr_->onFieldMouseMove = [this](ClcdCtr& c, int ordinal) {
    if (c.Page())
      if (ClcdCtr_param* f = c.Page()->Field(ordinal)) SetStatusText(f->hint);
  };
  const std::string user = engine_->userFolder();
  libraryFolder_ = sysExFolder_ = user;
  setRestoreMenu(engine_->restoreMouseMenu());
  setRestoreKnob(engine_->restoreMouseKnob());
  updateLearnOptions();
  soundChangesSeen_ = engine_->soundChanges();
  RefreshAll();
  ctr_->SelectPage(0);
  MusicKeys->SetComputerKeyPlay(true);
  const std::string rom = engine_->waveRomProblem();
  if (!rom.empty()) SetStatusText(rom);
  timer_->Start(true, 35);
}

// Status, refresh, programs ------------------------------------------------------------------------------

void TplugEditForm::SetStatusText(const std::string& text) {
  if (StatusLabel1->text == text) return;
  StatusLabel1->text = text;
  StatusLabel1->invalidate();
}

void TplugEditForm::SetVoiceText(const std::string& text) {
  if (StatusLabel2->text == text) return;
  StatusLabel2->text = text;
  StatusLabel2->invalidate();
}

void TplugEditForm::ShowStatusMessage(const std::string& text) {
  if (ctr_) ctr_->ShowMessage(-1, -1, text, "", 22);
}

void TplugEditForm::RefreshAll() {
  if (!engine_ || !ctr_) return;
  ctr_->ReadValues(true);
  progNameEdit->setText(displayName(*sounds().EditRecord()));
  progIdxLabel->text = zeroPad(sounds().CurrentProgram(), 3);
  progIdxLabel->invalidate();
  lcd->WriteText(0, 1, 0, sounds().Modified() ? "*C*" : "   ");
}

void TplugEditForm::SelectProgram(int n) {
  if (!engine_) return;
  n = std::clamp(n, 0, kProgramCount - 1);
  changeSounds([&] { sounds().SelectProgram(n); });
  RefreshAll();
}

void TplugEditForm::changeSounds(const std::function<void()>& change) { engine_->exclusive(change); }

void TplugEditForm::FocusSelf() {
  if (WindowHost* h = host()) h->setFocus(this);
}

void TplugEditForm::ShowAbout() {
  if (host()) korvo::ShowAbout(*this, LogoImage->picture, LogoImage->drawAtScale);
}

// Knobs, fields, display tick --------------------------------------------------------------------------------

void TplugEditForm::knobChanged(TGraphKnobB& knob) {
  if (!ctr_) return;
  const int slot = knob.tag;
  ctr_->KnobChanged(slot, knob.IntValue());
  highlight(ctr_->Page() ? ctr_->Page()->SlotOrdinal(slot) : -1);
}

void TplugEditForm::highlight(int ordinal) {
  if (!ctr_ || !ctr_->Page()) return;
  ClcdCtr_page& page = *ctr_->Page();
  for (int i = 0; i < page.FieldCount(); ++i) {
    ClcdCtr_param& f = *page.Field(i);
    const bool on = f.Ordinal() == ordinal && f.FieldNumber() >= 0;
    if (f.highlighted == on) continue;  // unchanged fields are not redrawn
    f.highlighted = on;
    ctr_->DrawField(f);
  }
}

void TplugEditForm::refreshVoices() {
  const int available = engine_->voicesAvailable();
  const std::string used = std::to_string(engine_->voicesInUse());
  const std::size_t digits = std::to_string(available).size();
  SetVoiceText(std::string(used.size() < digits ? digits - used.size() : 0, ' ') + used + "/" +
               std::to_string(available));
}

void TplugEditForm::DisplayTick() {
  if (!engine_ || !ctr_) return;
  watchOutsideChanges();
  voiceToggle_ = !voiceToggle_;
  if (!voiceToggle_) refreshVoices();
  ctr_->Tick();
}

void TplugEditForm::watchOutsideChanges() {
  if (const std::uint32_t n = engine_->soundChanges(); n != soundChangesSeen_) {
    soundChangesSeen_ = n;
    RefreshAll();
  }
  if (learning_ >= 0 && engine_->learningWord() != learning_) {
    const int controller = engine_->controllerOf(learning_);
    if (controller >= 0)
      SetStatusText("CC " + std::to_string(controller) + " moves " + engine_->paramName(learning_) + ".");
    learning_ = -1;
    if (refillControllers_) refillControllers_();
  }
}

int TplugEditForm::wordAt(Control& clicked, Point at) const {
  if (!ctr_ || !ctr_->Page()) return -1;
  const ClcdCtr_param* field = nullptr;
  if (&clicked == lcd) {
    const Point cell = lcd->PixelToChar(at.x, at.y);
    field = ctr_->FieldAt(cell.x, cell.y);
  } else {
    for (std::size_t slot = 0; slot < knobs.size(); ++slot)
      if (&clicked == knobs[slot]) field = ctr_->Page()->FieldOfSlot(static_cast<int>(slot));
  }
  return field ? field->ParamId() : -1;
}

void TplugEditForm::updateLearnOptions() {
  if (MenuItem* i = menuOptionsPopup.find("Program change selects a program"))
    i->checked = engine_ && engine_->programChangeSelects();
}

void TplugEditForm::openControllersDialog() {
  WindowHost* h = host();
  if (!h || !engine_) return;
  auto form = std::make_unique<TcontrollersForm>();
  TcontrollersForm& list = *form;
  list.TakeColours(colour, fontColour, font);
  auto frame = std::make_unique<DialogFrame>(list.width(), list.height());
  DialogFrame& f = *frame;
  f.title = list.caption;
  f.colour = colour;
  f.client().adopt(std::move(form));
  list.setPosition(0, 0);
  refillControllers_ = [this, &list] {
    std::vector<TcontrollersForm::Line> lines;
    for (const auto& b : engine_->controllerBindings()) lines.push_back({b.controller, engine_->paramName(b.word)});
    list.SetLines(lines);
  };
  refillControllers_();
  list.onForget = [this](int controller) {
    engine_->forgetController(controller);
    refillControllers_();
  };
  list.onForgetAll = [this] {
    engine_->forgetAllControllers();
    refillControllers_();
  };
  list.onClose = [this, &f] { EndKeyHookDialog(f); };
  std::weak_ptr<bool> alive = alive_;
  list.onGone = [this, alive] {
    if (!alive.expired()) refillControllers_ = nullptr;
  };
  const Point centre = toWindow({281, 173});
  InstallKeyHook(&f);
  h->openModal(std::move(frame), {centre.x - f.width() / 2, centre.y - f.height() / 2});
  list.List->setFocus();
}

void TplugEditForm::postMessage(int message) {
  switch (message) {
    case kMsgDumpReceived: posted_.fetch_or(kBitDump, std::memory_order_acq_rel); break;
    case kMsgRefresh: posted_.fetch_or(kBitRefresh, std::memory_order_acq_rel); break;
    case kMsgDisplayTick: pendingTicks_.fetch_add(1, std::memory_order_acq_rel); break;
    default: break;
  }
}

void TplugEditForm::processMessages() {
  if (midi_) midi_->poll();
  const unsigned bits = posted_.exchange(0, std::memory_order_acq_rel);
  if (bits & kBitRefresh) RefreshAll();
  if (bits & kBitDump) ShowStatusMessage("** SysEx dump received **");
  const unsigned ticks = std::min(pendingTicks_.exchange(0, std::memory_order_acq_rel), kMaxTicksPerIdle);
  for (unsigned i = 0; i < ticks; ++i) DisplayTick();
}

// Menus ----------------------------------------------------------------------------------------------------

void TplugEditForm::popupBelow(Control& c, PopupMenu& menu) {
  FocusSelf();
  if (WindowHost* h = host()) h->popupMenu(menu, c.toScreen({0, c.height() + 1}));
}

void TplugEditForm::openPageMenu(Point windowPoint, int word) {
  WindowHost* h = host();
  if (!h || !ctr_) return;
  savedPointer_ = h->pointerPosition();
  menuPagePopup.clear();
  const CparamEditorBase* previous = ctr_->GetPage(0) ? ctr_->GetPage(0)->editor : nullptr;
  for (int i = 0; i < ctr_->PageCount(); ++i) {
    const ClcdCtr_page* p = ctr_->GetPage(i);
    if (p->editor != previous) menuPagePopup.addSeparator();
    previous = p->editor;
    MenuItem& item = menuPagePopup.addItem(p->name, i, [this](MenuItem& chosen) {
      ctr_->SelectPage(chosen.tag);
      if (WindowHost* host2 = host()) host2->setPointerPosition(savedPointer_);
    });
    item.radio = true;
    item.checked = i == ctr_->PageIndex();
  }
  if (word >= 0 && !engine_->paramName(word).empty()) {
    menuPagePopup.addSeparator();
    menuPagePopup.addItem("Learn MIDI controller", word, [this](MenuItem& chosen) {
      if (!engine_->learnController(chosen.tag)) return;
      learning_ = chosen.tag;
      SetStatusText("Move a MIDI controller for " + engine_->paramName(chosen.tag) + "...");
    });
    if (engine_->controllerOf(word) >= 0)
      menuPagePopup.addItem("Forget MIDI controller", word, [this](MenuItem& chosen) {
        const int controller = engine_->controllerOf(chosen.tag);
        engine_->forgetWord(chosen.tag);
        SetStatusText("CC " + std::to_string(controller) + " no longer moves " + engine_->paramName(chosen.tag) + ".");
      });
  }
  const Point o = h->windowOrigin();
  const Point d = h->toDevice(windowPoint);
  h->popupMenu(menuPagePopup, {d.x + o.x, d.y + o.y});
}

void TplugEditForm::openProgramList() {
  WindowHost* h = host();
  if (!h || !engine_) return;
  savedPointer_ = h->pointerPosition();
  FocusSelf();
  SelectPopup.clear();
  const std::vector<std::string> lines = programListLines(sounds());
  for (int n = 0; n < static_cast<int>(lines.size()); ++n) {
    MenuItem& item = SelectPopup.addItem(lines[static_cast<std::size_t>(n)], n, [this](MenuItem& chosen) {
      SelectProgram(chosen.tag);
      if (restoreMenu_)
        if (WindowHost* host2 = host()) host2->setPointerPosition(savedPointer_);
    });
    item.breakColumn = n > 0 && n % 32 == 0;
  }
  h->popupMenu(SelectPopup, progNameEdit->toScreen({0, progNameEdit->height() + 1}));
}

void TplugEditForm::ShowScale(int percent) {
  for (std::size_t i = 0; i < scaleMenu_->size(); ++i) scaleMenu_->item(i).checked = scaleMenu_->item(i).tag == percent;
}

void TplugEditForm::setRestoreMenu(bool on) {
  restoreMenu_ = on;
  if (engine_) engine_->setRestoreMouseMenu(on);
  if (ctr_) ctr_->restoreCursor = on;
  if (MenuItem* i = menuOptionsPopup.find("Popup menus")) i->checked = on;
}

void TplugEditForm::setRestoreKnob(bool on) {
  restoreKnob_ = on;
  if (engine_) engine_->setRestoreMouseKnob(on);
  for (TGraphKnobB* k : knobs)
    if (k) k->DoRestoreMousePos = on;
  if (MenuItem* i = menuOptionsPopup.find("Knob turning")) i->checked = on;
}

// Keys ------------------------------------------------------------------------------------------------------

void TplugEditForm::InstallKeyHook(Control* target) {
  keyHookTarget_ = target ? target : this;
  ++keyHookCount_;
}

void TplugEditForm::ReleaseKeyHook() {
  if (--keyHookCount_ <= 0) {
    keyHookCount_ = 0;
    keyHookTarget_ = nullptr;
  }
}

void TplugEditForm::EndKeyHookDialog(Control& dialog) {
  if (keyHookTarget_ == &dialog) keyHookTarget_ = nullptr;
  if (WindowHost* h = host()) h->closeModal(dialog);
  ReleaseKeyHook();
}

void TplugEditForm::trackNameBox() {
  if (nameTracked_) return;
  nameTracked_ = true;
  nameBefore_ = progNameEdit->text();
  InstallKeyHook(nullptr);
  progNameEdit->onFocusChange = [this](Control&, bool gained) {
    if (!gained) nameBoxFocus(false);
  };
}

void TplugEditForm::nameBoxFocus(bool gained) {
  if (gained || !nameTracked_) return;
  nameTracked_ = false;
  progNameEdit->onFocusChange = nullptr;
  ReleaseKeyHook();
}

bool TplugEditForm::shortcut(int key) {
  if (!engine_) return false;
  switch (key) {
    case keys::PageUp:
      if (ctr_) ctr_->SelectPage(std::max(0, ctr_->PageIndex() - 1));
      return true;
    case keys::PageDown:
      if (ctr_) ctr_->SelectPage(std::min(ctr_->PageCount() - 1, ctr_->PageIndex() + 1));
      return true;
    case keys::Up: SelectProgram(sounds().CurrentProgram() + 1); return true;
    case keys::Down: SelectProgram(sounds().CurrentProgram() - 1); return true;
    default: return false;
  }
}

// While the window or one of its buttons has the focus, the shortcuts work and the letter keys
// play the on-screen keyboard.
void TplugEditForm::keyDown(int key, ShiftState shift) {
  Control::keyDown(key, shift);
  if (!shortcut(key)) MusicKeys->keyDown(key, shift);
}

void TplugEditForm::keyUp(int key, ShiftState shift) {
  Control::keyUp(key, shift);
  MusicKeys->keyUp(key, shift);
}

}  // namespace korvo
