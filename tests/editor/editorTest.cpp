// The editor window driven as a user would: first show, program strip, knobs and fields, hints,
// menus, the program chooser, keys and the display tick.
#include "editorRig.h"

#include "dialog.h"
#include "progRecord.h"
#include "uControllersForm.h"

namespace korvo {
namespace {

using test::EditorRig;

TEST(Editor, FirstShowBuildsThePanel) {
  EditorRig r;
  TplugEditForm& f = r.form();
  EXPECT_TRUE(f.Shown());
  EXPECT_EQ(f.StatusLabel1->text, "Welcome to Korvo.");
  EXPECT_EQ(f.Controller()->PageIndex(), 0);
  EXPECT_EQ(f.progIdxLabel->text, "000");
  EXPECT_EQ(f.progNameEdit->text(), displayName(*r.sounds().EditRecord()));
  const int lefts[] = {104, 194, 284, 374, 464};
  for (std::size_t k = 0; k < 10; ++k) {
    EXPECT_EQ(f.knobs[k]->left(), lefts[k % 5]) << k;
    EXPECT_EQ(f.knobs[k]->top(), k < 5 ? 16 : 128) << k;
  }
  EXPECT_TRUE(f.Timer()->running());
  EXPECT_EQ(f.Timer()->period(), 35u);
  EXPECT_TRUE(f.MusicKeys->computerKeyPlay());
  f.FormShow();  // once only
  r.golden(r.host().frame(), "editor_firstShow");
  EditorRig noRom(false);
  EXPECT_EQ(noRom.form().StatusLabel1->text, noRom.instance->waveRomDescription());
  EXPECT_NE(noRom.form().StatusLabel1->text.find("no wavrom.bin in " + noRom.dir.string()), std::string::npos);
}

TEST(Editor, BrowseButtonsClampAndReload) {
  EditorRig r;
  TplugEditForm& f = r.form();
  r.click(*f.upButton);
  EXPECT_EQ(r.sounds().CurrentProgram(), 1);
  EXPECT_EQ(f.progIdxLabel->text, "001");
  f.SelectProgram(500);
  EXPECT_EQ(r.sounds().CurrentProgram(), 127);
  r.sounds().Editor().SetParam(0, 5);  // an unsaved edit is replaced by the reload
  r.click(*f.upButton);
  EXPECT_EQ(r.sounds().CurrentProgram(), 127);
  EXPECT_FALSE(r.sounds().Modified());
  f.SelectProgram(0);
  r.click(*f.downButton);
  EXPECT_EQ(r.sounds().CurrentProgram(), 0);
  r.golden(r.host().frame(), "editor_afterProgramChange");
}

TEST(Editor, ProgramListInColumnsRestoresThePointerOnlyWhenAsked) {
  EditorRig r;
  TplugEditForm& f = r.form();
  HeadlessHost& h = r.host();
  h.menuChooser = HeadlessHost::chooseTag(42);
  h.move(r.centre(*f.progNameEdit));
  h.doubleClickAt(r.centre(*f.progNameEdit));
  ASSERT_EQ(h.lastMenu, &f.SelectPopup);
  ASSERT_EQ(f.SelectPopup.size(), 128u);
  for (int n : {0, 31, 32, 64, 96, 127})
    EXPECT_EQ(f.SelectPopup.item(static_cast<std::size_t>(n)).breakColumn, n == 32 || n == 64 || n == 96) << n;
  EXPECT_EQ(f.SelectPopup.item(5).caption.substr(0, 6), "005   ");
  EXPECT_EQ(h.lastMenuPoint, f.progNameEdit->toScreen({0, f.progNameEdit->height() + 1}));
  EXPECT_EQ(r.sounds().CurrentProgram(), 42);
  ASSERT_EQ(h.pointerWarps().size(), 1u);  // "Popup menus" is on by default
  EXPECT_EQ(h.pointerWarps()[0], r.centre(*f.progNameEdit));
  EXPECT_TRUE(f.menuOptionsPopup.find("Popup menus")->checked);
  h.menuChooser = HeadlessHost::choose("Popup menus");
  r.click(*f.menuOptImage);
  EXPECT_FALSE(r.instance->settings().restMouseMenu);
  EXPECT_FALSE(f.Controller()->restoreCursor);
  EXPECT_FALSE(f.menuOptionsPopup.find("Popup menus")->checked);
  h.menuChooser = HeadlessHost::chooseTag(7);
  h.doubleClickAt(r.centre(*f.progNameEdit));
  EXPECT_EQ(r.sounds().CurrentProgram(), 7);
  EXPECT_EQ(h.pointerWarps().size(), 1u);
  h.menuChooser = HeadlessHost::choose("Knob turning");
  r.click(*f.menuOptImage);
  EXPECT_FALSE(r.instance->settings().restMouseKnob);
  for (const TGraphKnobB* k : f.knobs) EXPECT_FALSE(k->DoRestoreMousePos);
  h.menuChooser = nullptr;
  h.doubleClickAt(r.centre(*f.progNameEdit));
  r.golden(h.frameWithMenu(), "editor_programList");
}

TEST(Editor, PageMenuHasEveryPageAndAlwaysRestoresThePointer) {
  EditorRig r;
  TplugEditForm& f = r.form();
  HeadlessHost& h = r.host();
  h.menuChooser = HeadlessHost::chooseTag(8);
  const Point at = f.displayPanel->toWindow({270, 5});
  h.move(at);
  h.click(at, MouseButton::Right);
  ASSERT_EQ(h.lastMenu, &f.menuPagePopup);
  EXPECT_EQ(f.menuPagePopup.size(), 23u);  // one editor for all pages: no separators
  EXPECT_TRUE(f.menuPagePopup.item(0).checked && f.menuPagePopup.item(0).radio);
  EXPECT_EQ(f.menuPagePopup.item(8).caption, "Filter");
  EXPECT_EQ(f.Controller()->PageIndex(), 8);
  ASSERT_EQ(h.pointerWarps().size(), 1u);
  EXPECT_EQ(h.pointerWarps()[0], at);
  h.menuChooser = nullptr;
  const int shown = h.menusShown;
  h.click(r.centre(*f.knobs[7]), MouseButton::Right);  // the knobs and the LCD belong to the panel's menu too
  EXPECT_EQ(h.menusShown, shown + 1);
  h.click(r.centre(*f.lcd), MouseButton::Right);
  EXPECT_TRUE(f.menuPagePopup.item(8).checked);
  r.golden(h.frameWithMenu(), "editor_pageMenu");
}

TEST(Editor, KnobTurnsTheFieldAndMarksTheSoundChanged) {
  EditorRig r;
  TplugEditForm& f = r.form();
  f.Controller()->SelectPage(2);  // OSC1 Pitch
  ClcdCtr_page& page = *f.Controller()->Page();
  const int slot = 0;
  ClcdCtr_param* field = page.FieldOfSlot(slot);
  ASSERT_NE(field, nullptr);
  const int before = r.sounds().Editor().GetParam(field->ParamId());
  f.ShowStatusMessage("** Program written **");
  r.host().drag(r.centre(*f.knobs[slot]), r.offset(*f.knobs[slot], 0, -60));
  EXPECT_NE(r.sounds().Editor().GetParam(field->ParamId()), before);
  EXPECT_EQ(f.Controller()->MessageActive(), 0);  // turning ends a timed message at once
  EXPECT_TRUE(field->highlighted);
  EXPECT_EQ(r.lcdRow(1).substr(0, 3), "*C*");
  // A free slot: range 0..0, and turning it clears every highlight.
  int freeSlot = -1;
  for (int s = 0; s < 10 && freeSlot < 0; ++s)
    if (page.SlotOrdinal(s) < 0) freeSlot = s;
  ASSERT_GE(freeSlot, 0);
  auto& freeKnob = *f.knobs[static_cast<std::size_t>(freeSlot)];
  EXPECT_EQ(freeKnob.MinValue(), 0);
  EXPECT_EQ(freeKnob.MaxValue(), 0);
  EXPECT_EQ(freeKnob.MaxPixDist(), 40);
  r.host().drag(r.centre(freeKnob), r.offset(freeKnob, 0, -60));
  for (int i = 0; i < page.FieldCount(); ++i) EXPECT_FALSE(page.Field(i)->highlighted);
  f.SelectProgram(0);
  EXPECT_EQ(r.lcdRow(1).substr(0, 3), "   ");
}

TEST(Editor, HintsFollowTheSenderOnce) {
  EditorRig r;
  TplugEditForm& f = r.form();
  r.host().move(r.centre(*f.upButton));
  EXPECT_EQ(f.StatusLabel1->text, "Load next sound program");
  f.SetStatusText("something else");
  r.host().move(r.offset(*f.upButton, 1, 0));  // same sender: not rewritten
  EXPECT_EQ(f.StatusLabel1->text, "something else");
  r.host().move(f.progPanel->toWindow({2, 2}));  // no hint: cleared
  EXPECT_EQ(f.StatusLabel1->text, "");
  r.host().move(r.centre(*f.panicButton));
  EXPECT_EQ(f.StatusLabel1->text, "Reset all voices");
}

TEST(Editor, NameBoxTakesKeysUntilEnterAndWriteStoresIt) {
  EditorRig r;
  TplugEditForm& f = r.form();
  HeadlessHost& h = r.host();
  r.click(*f.progNameEdit);
  EXPECT_TRUE(f.keyboardWanted());
  r.click(*f.progNameEdit);  // already tracked
  EXPECT_EQ(f.KeyHookCount(), 1);
  f.progNameEdit->selectAll();
  h.typeText("warm strings pad x");
  EXPECT_EQ(f.progNameEdit->text(), "WARM STRINGS PA");
  h.pressKey(keys::Return);
  EXPECT_FALSE(f.keyboardWanted());
  EXPECT_EQ(h.focus(), &f);

  r.click(*f.writeButton);
  ASSERT_NE(r.chooser(), nullptr);
  EXPECT_TRUE(f.keyboardWanted());
  EXPECT_EQ(r.chooser()->title, "Overwrite...");
  EXPECT_EQ(r.chooser()->SingleList->itemIndex(), 0);
  r.golden(h.frame(), "editor_writeDialog");
  r.choose(9);
  EXPECT_EQ(r.chooser(), nullptr);
  EXPECT_FALSE(f.keyboardWanted());
  EXPECT_EQ(displayName(r.program(9)), "WARM STRINGS PA");
  EXPECT_EQ(r.sounds().CurrentProgram(), 9);
  EXPECT_EQ(r.lcdRow(0).find("** Program written **") != std::string::npos, true);

  r.click(*f.writeButton);
  h.pressKey(keys::Escape);
  EXPECT_EQ(r.chooser(), nullptr);
  EXPECT_NE(r.lcdRow(0).find("** Write aborted **"), std::string::npos);
}

// Ctrl+A selects, Ctrl+C and Ctrl+V copy and paste, Escape brings the name back, and a click
// beside the box ends the editing with the typed name kept.
TEST(Editor, NameBoxClipboardEscapeAndAClickBeside) {
  EditorRig r;
  TplugEditForm& f = r.form();
  HeadlessHost& h = r.host();
  const std::string name = f.progNameEdit->text();
  r.click(*f.progNameEdit);
  h.pressKey(keys::End);
  h.pressKey('A', kCtrl);
  h.pressKey('C', kCtrl);
  EXPECT_EQ(f.progNameEdit->text(), name) << "Ctrl+A typed its letter";
  h.typeText("bass");
  EXPECT_EQ(f.progNameEdit->text(), "BASS");
  h.pressKey(keys::Escape);
  EXPECT_EQ(f.progNameEdit->text(), name);
  EXPECT_FALSE(f.keyboardWanted());
  r.click(*f.progNameEdit);
  h.pressKey(keys::End);
  h.pressKey('V', kCtrl);
  ASSERT_FALSE(name.empty());
  EXPECT_EQ(f.progNameEdit->text(), (name + name).substr(0, 15));
  h.pressKey('A', kCtrl);
  h.typeText("lead");
  r.click(*f.displayPanel);
  EXPECT_FALSE(f.keyboardWanted());
  EXPECT_NE(h.focus(), f.progNameEdit);
  EXPECT_EQ(f.progNameEdit->text(), "LEAD");
}

// A wheel notch over a knob or over its field on the LCD moves the value one step, ten with Shift.
TEST(Editor, TheWheelTurnsKnobsAndFields) {
  EditorRig r;
  TplugEditForm& f = r.form();
  f.Controller()->SelectPage(2);  // OSC1 Pitch
  ClcdCtr_param& field = *f.Controller()->Page()->FieldOfSlot(0);
  auto value = [&] { return r.sounds().Editor().GetParam(field.ParamId()); };
  const int start = value();
  r.host().mouseWheel(120, 0, r.centre(*f.knobs[0]));
  EXPECT_EQ(value(), field.Clamp(start + 1));
  r.host().mouseWheel(-120, kShift, r.centre(*f.knobs[0]));
  EXPECT_EQ(value(), field.Clamp(field.Clamp(start + 1) - 10));
  const int before = value();
  const TsegLCD2& lcd = *f.lcd;
  const Point cell =
      lcd.toWindow({lcd.CharLeft(field.column + static_cast<int>(field.label.size())) + 2, lcd.CharTop(field.row) + 2});
  r.host().mouseWheel(-120, 0, cell);
  EXPECT_EQ(value(), field.Clamp(before - 1));
  EXPECT_EQ(f.knobs[0]->IntValue(), value()) << "the knob follows its field";
  EXPECT_EQ(r.lcdRow(1).substr(0, 3), "*C*");
}

TEST(Editor, InitPanicAndTheOnScreenKeyboard) {
  EditorRig r;
  TplugEditForm& f = r.form();
  r.click(*f.initButton);
  EXPECT_EQ(displayName(*r.sounds().EditRecord()), "INIT");
  EXPECT_TRUE(r.sounds().Modified());
  EXPECT_NE(r.lcdRow(0).find("** Program initialized **"), std::string::npos);
  for (int i = 0; i < 25; ++i) f.DisplayTick();  // the message ends, the page returns
  EXPECT_EQ(r.lcdRow(0).find("**"), std::string::npos);
  EXPECT_EQ(r.lcdRow(1).substr(0, 3), "*C*");

  const TMusicKeysSimple& keys = *f.MusicKeys;
  const Rect key60 = keys.key(60).lower;
  const Point p = keys.toWindow({key60.left + 2, key60.top + 2});
  r.host().press(p);
  EXPECT_EQ(r.engine().voicesInUse(), 0);  // queued for the next block
  r.render();
  EXPECT_EQ(r.engine().activeVoiceCount(), 1);
  for (int i = 0; i < 2; ++i) f.DisplayTick();
  EXPECT_EQ(f.StatusLabel2->text, "1/8");
  r.host().release(p);
  r.render();
  EXPECT_TRUE(r.engine().voice(0).released);
  r.engine().queueKeyboardNote(0, 64, 100);
  r.render();
  r.click(*f.panicButton);
  r.render();
  EXPECT_EQ(r.engine().activeVoiceCount(), 0);
}

TEST(Editor, ShortcutsAndComputerKeysWhileTheWindowHasTheFocus) {
  EditorRig r;
  TplugEditForm& f = r.form();
  f.FocusSelf();
  r.host().pressKey(keys::PageDown);
  EXPECT_EQ(f.Controller()->PageIndex(), 1);
  r.host().pressKey(keys::PageUp);
  r.host().pressKey(keys::PageUp);
  EXPECT_EQ(f.Controller()->PageIndex(), 0);
  r.host().pressKey(keys::Up);
  EXPECT_EQ(r.sounds().CurrentProgram(), 1);
  r.host().keyDown('Q', 0);  // a letter of the keyboard rows plays a note
  r.render();
  EXPECT_EQ(r.engine().activeVoiceCount(), 1);
  r.host().keyUp('Q', 0);
}

TEST(Editor, MessagesFromOtherThreadsRunAtIdle) {
  EditorRig r;
  TplugEditForm& f = r.form();
  r.sounds().Editor().SetName("CHANGED");
  f.postMessage(TplugEditForm::kMsgRefresh);
  f.postMessage(TplugEditForm::kMsgDumpReceived);
  for (int i = 0; i < 10; ++i) f.postMessage(TplugEditForm::kMsgDisplayTick);
  EXPECT_NE(f.progNameEdit->text(), "CHANGED");
  r.window->idle();
  EXPECT_EQ(f.progNameEdit->text(), "CHANGED");
  EXPECT_NE(r.lcdRow(0).find("** SysEx dump received **"), std::string::npos);
}

TEST(Editor, TheShippedBridgeOpensTheWindowAndAHostChunkRefreshesIt) {
  EditorRig r;  // for its folder and settings
  CSynth synth(test::rigHost, editorWindowFactory(), r.environment("settings2.conf"));
  vst::AEffect* e = synth.getAeffect();
  ASSERT_EQ(e->dispatcher(e, vst::effEditOpen, 0, 0, nullptr, 0), 1);
  auto* window = dynamic_cast<EditorWindow*>(static_cast<CSynthEditor*>(synth.getEditor())->window());
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->form().Shown());
  ProgramRecord record = *synth.engine()->soundMan().EditRecord();
  setRecordName(record, "FROM HOST");
  e->dispatcher(e, vst::effSetChunk, 0, sizeof record, &record, 0);
  e->dispatcher(e, vst::effEditIdle, 0, 0, nullptr, 0);
  EXPECT_EQ(window->form().progNameEdit->text(), "FROM HOST");
  e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
  EXPECT_FALSE(static_cast<CSynthEditor*>(synth.getEditor())->hasWindow());
}

TEST(Editor, AboutBoxAndClosingWithADialogOpen) {
  EditorRig r;
  TplugEditForm& f = r.form();
  r.host().menuChooser = HeadlessHost::choose("About...");
  r.click(*f.menuInfoImage);
  ASSERT_EQ(r.host().modalCount(), 1u);
  r.golden(r.host().frame(), "editor_about");
  r.host().click({281, 300});
  EXPECT_EQ(r.host().modalCount(), 0u);
  r.click(*f.writeButton);
  ASSERT_NE(r.chooser(), nullptr);
  r.window.reset();  // the window goes with its dialog open: no callback, no leak
}

}  // namespace
}  // namespace korvo

namespace korvo {
namespace {

TEST(Editor, HostKeysReachTheNameBoxOnlyWhileItWantsThemAndACopyOfASystemKeyIsDropped) {
  EditorRig r;
  CSynth synth(test::rigHost, editorWindowFactory(), r.environment("settings2.conf"));
  vst::AEffect* e = synth.getAeffect();
  ASSERT_EQ(e->dispatcher(e, vst::effEditOpen, 0, 0, nullptr, 0), 1);
  auto* window = dynamic_cast<EditorWindow*>(static_cast<CSynthEditor*>(synth.getEditor())->window());
  ASSERT_NE(window, nullptr);
  TplugEditForm& f = window->form();
  auto& h = static_cast<HeadlessHost&>(window->host());
  const std::string before = f.progNameEdit->text();
  auto keyDown = [e](int character, int virt) {
    return e->dispatcher(e, vst::effEditKeyDown, character, virt, nullptr, 0);
  };
  auto keyUp = [e](int character, int virt) {
    return e->dispatcher(e, vst::effEditKeyUp, character, virt, nullptr, 0);
  };
  // Nothing wants keys: the host keeps them.
  EXPECT_EQ(keyDown('x', 0), 0);
  EXPECT_EQ(f.progNameEdit->text(), before);

  const Point box = f.progNameEdit->toWindow({f.progNameEdit->width() / 2, f.progNameEdit->height() / 2});
  h.move(box);
  h.click(box);
  ASSERT_TRUE(h.wantsKeyboard());
  for (char c : std::string("bass")) {
    EXPECT_EQ(keyDown(c, 0), 1);
    EXPECT_EQ(keyUp(c, 0), 1);
  }
  EXPECT_EQ(keyDown(0, 4), 1);  // Return (the interface's key 4)
  keyUp(0, 4);
  EXPECT_EQ(f.progNameEdit->text(), "BASS");
  EXPECT_FALSE(h.wantsKeyboard());
  EXPECT_EQ(keyDown('x', 0), 0);

  // A host that passes on a key the system gave the window too (FL Studio): one letter, not two.
  h.click(box);
  ASSERT_TRUE(h.wantsKeyboard());
  keyDown(0, 1);  // Back, four times: the box is empty
  keyDown(0, 1);
  keyDown(0, 1);
  keyDown(0, 1);
  ASSERT_TRUE(h.keyEcho.accept(KeyEchoFilter::Route::System, true, 'Q'));
  h.keyDown('Q', 0);
  h.keyChar(U'q');
  EXPECT_EQ(keyDown('q', 0), 1);
  EXPECT_EQ(f.progNameEdit->text(), "Q");
  EXPECT_EQ(keyDown('r', 0), 1);
  EXPECT_EQ(f.progNameEdit->text(), "QR");
  e->dispatcher(e, vst::effEditClose, 0, 0, nullptr, 0);
}

TEST(Editor, VstKeyCodesBecomeWindowsKeysAndCharacters) {
  EXPECT_EQ(fromVstKeyCode('a', 0, 0).key, 'A');
  EXPECT_EQ(fromVstKeyCode('a', 0, 0).character, U'a');
  EXPECT_EQ(fromVstKeyCode('7', 0, 1).shift, kShift);
  EXPECT_EQ(fromVstKeyCode(0, 1, 0).key, keys::Back);
  EXPECT_EQ(fromVstKeyCode(0, 1, 0).character, U'\b');
  EXPECT_EQ(fromVstKeyCode(0, 11, 0).key, keys::Left);
  EXPECT_EQ(fromVstKeyCode(0, 11, 0).character, 0u);
  EXPECT_EQ(fromVstKeyCode(0, 15, 0).key, keys::PageUp);
  EXPECT_EQ(fromVstKeyCode(0, 16, 0).key, keys::PageDown);
  EXPECT_EQ(fromVstKeyCode(0, 19, 0).key, keys::Return);  // the keypad's Enter
  EXPECT_EQ(fromVstKeyCode(0, 22, 0).key, keys::Delete);
  EXPECT_EQ(fromVstKeyCode(0, 27, 0).character, U'3');  // keypad 3
  EXPECT_EQ(fromVstKeyCode(0, 40, 0).key, 0x70);        // F1
  EXPECT_EQ(fromVstKeyCode(0, 54, 0).key, keys::Shift);
  EXPECT_EQ(fromVstKeyCode(0, 57, 0).character, U'=');
  EXPECT_EQ(fromVstKeyCode(0, 58, 0).key, 0);  // beyond the table
  EXPECT_EQ(fromVstKeyCode('c', 0, 4).character, 0u) << "a shortcut types nothing";
  EXPECT_EQ(fromVstKeyCode('c', 0, 4).shift, kCtrl);
}

TEST(Editor, AFieldsMenuLearnsAndForgetsAControllerAndTheOptionsListTheBindings) {
  EditorRig r;
  TplugEditForm& f = r.form();
  HeadlessHost& h = r.host();
  f.Controller()->SelectPage(8);  // Filter
  const ClcdCtr_param* field = f.Controller()->Page()->FieldOfSlot(0);
  ASSERT_NE(field, nullptr);
  const int id = field->ParamId();
  const std::string name = CplugInstance::params().find(id)->name;
  h.menuChooser = HeadlessHost::choose("Learn MIDI controller");
  h.click(r.centre(*f.knobs[0]), MouseButton::Right);
  EXPECT_EQ(r.instance->learningParam(), id);
  EXPECT_EQ(f.StatusLabel1->text, "Move a MIDI controller for " + name + "...");

  // The controller arrives with the host's events; the window shows it at its next tick.
  MidiEvent cc{MidiEvent::Short, 0xB0, 74, 0};
  r.instance->processEvents({&cc, 1});
  r.render(64);
  f.DisplayTick();
  EXPECT_EQ(f.StatusLabel1->text, "CC 74 moves " + name + ".");
  EXPECT_EQ(field->Value(), field->Min());
  EXPECT_EQ(r.instance->controllerOf(id), 74);

  r.instance->learnController(id + 1);  // a second binding, for the list
  cc.data1 = 71;
  r.instance->processEvents({&cc, 1});
  r.render(64);
  h.menuChooser = HeadlessHost::choose("MIDI controllers...");
  h.click(r.centre(*f.menuOptImage));
  auto* frame = dynamic_cast<DialogFrame*>(h.topModal());
  ASSERT_NE(frame, nullptr);
  auto* list = dynamic_cast<TcontrollersForm*>(frame->client().children().front().get());
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->List->items,
            (std::vector<std::string>{"CC 71   " + CplugInstance::params().find(id + 1)->name, "CC 74   " + name}));
  list->List->setItemIndex(0);  // CC 71
  r.click(*list->forgetButton);
  EXPECT_EQ(r.instance->controllerBindings().size(), 1u);
  EXPECT_EQ(list->List->items.size(), 1u);
  r.click(*list->closeButton);
  EXPECT_EQ(h.topModal(), nullptr);

  h.menuChooser = HeadlessHost::choose("Forget MIDI controller");
  h.click(r.centre(*f.knobs[0]), MouseButton::Right);
  EXPECT_EQ(r.instance->controllerOf(id), -1);

  // A learn the window still waits for ends with the window.
  h.menuChooser = HeadlessHost::choose("Learn MIDI controller");
  h.click(r.centre(*f.knobs[0]), MouseButton::Right);
  EXPECT_EQ(r.instance->learningParam(), id);
  r.window.reset();
  EXPECT_EQ(r.instance->learningParam(), -1);
}

}  // namespace
}  // namespace korvo
