// TplugEditForm: the editor window, a picture of the instrument's front panel. The program strip
// (number, name, browse, write, init, SysEx send and request, panic), the display panel with the
// segment LCD between two rows of five data knobs, the on-screen keyboard, the File, Options and
// Info menus, the voice readout and the status line.
//
// The window is the root control of a window host and runs on that host's thread. Its timer and
// the MIDI input post messages (postMessage is safe from any thread); the window handles them in
// processMessages(), which the host's idle calls. Dialogs and message boxes never block: each
// command goes on in the callback of the dialog that asks its question.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "AniGIF.h"
#include "GraphButton.h"
#include "MusicKeysSimple.h"
#include "controls.h"
#include "graphKnobB.h"
#include "host.h"
#include "lcdControl.h"
#include "menu.h"
#include "segLCD2.h"
#include "simpleTimer.h"

namespace korvo {

class IEditorEngine;
class Ckv_soundMan;

// The hardware exchange commands of the File menu and the two SysEx buttons. The MIDI port layer
// provides the real one; without it the window says that there are no ports.
class IMidiExchange {
 public:
  virtual ~IMidiExchange() = default;
  virtual void request() = 0;  // choose ports as needed, then ask the instrument for its sound
  virtual void receive() = 0;  // choose the input port, then wait for a dump
  virtual void send() = 0;     // choose the output port, then send the edit buffer
  // The toolbar buttons: like send and request, asking only for ports not yet chosen.
  virtual void sendButton() = 0;
  virtual void requestButton() = 0;
  // Called from processMessages() on the window's thread.
  virtual void poll() {}
  // Options: single dumps that arrive in the host's MIDI events are taken like received ones,
  // and the pause between the messages of an exchange.
  virtual bool hostSysEx() const { return false; }
  virtual void setHostSysEx(bool) {}
  virtual int pauseMs() const { return 200; }
  virtual void setPauseMs(int) {}
};

class TplugEditForm : public Control {
 public:
  static constexpr int kWidth = 562;
  static constexpr int kHeight = 346;
  // Window messages.
  static constexpr int kMsgDumpReceived = 0x8002;
  static constexpr int kMsgRefresh = 0x8003;
  static constexpr int kMsgDisplayTick = 0x8004;

  // With no timer service the display timer runs on a thread of its own.
  explicit TplugEditForm(TimerEventService* timerService = nullptr);
  ~TplugEditForm() override;

  void SetEngine(IEditorEngine* engine);
  IEditorEngine* Engine() const { return engine_; }
  void SetMidiExchange(std::unique_ptr<IMidiExchange> midi);
  IMidiExchange* MidiExchange() const { return midi_.get(); }
  // Pauses the Options menu offers between the messages of an exchange.
  static constexpr int kPauseChoices[] = {200, 500, 1000};
  // Window sizes the Options menu offers, in percent.
  static constexpr int kScaleChoices[] = {100, 125, 150, 175, 200, 225, 250, 275, 300};
  // A size chosen in the Options menu (stored in the settings first); whoever shows the window
  // applies it. The window itself only draws at its host's scale.
  std::function<void(int percent)> onScaleChosen;
  // Puts the radio mark on the size the window is shown at (none when it is not one offered).
  void ShowScale(int percent);
  PopupMenu* ScaleMenu() const { return scaleMenu_; }
  // A command a program adds to the end of the Options menu (the standalone's audio settings),
  // after a separator that comes with the first one.
  void AddOptionsCommand(const std::string& caption, std::function<void()> run);

  // The first show: builds the pages and wires everything (once; nothing without an engine).
  void FormShow();
  bool Shown() const { return setUp_; }

  void SetStatusText(const std::string& text);
  void SetVoiceText(const std::string& text);
  // A timed message centred in the LCD's first row.
  void ShowStatusMessage(const std::string& text);
  void RefreshAll();
  void SelectProgram(int n);
  void FocusSelf();
  void ShowAbout();

  // Keys while the name box or a dialog needs them (the platform host asks keyboardWanted()
  // before it passes a key on to the host application).
  void InstallKeyHook(Control* target);
  void ReleaseKeyHook();
  void EndKeyHookDialog(Control& dialog);
  // True while the name box is being edited or any dialog or message box is open.
  bool keyboardWanted() const { return keyHookCount_ > 0 || (host() && host()->modalCount() > 0); }

  // Any thread: queues a window message; the window's thread handles it in processMessages().
  void postMessage(int message);
  void processMessages();
  // The display tick (0x8004): voice readout every second tick, then the controller's tick.
  void DisplayTick();

  // The program chooser (Write, bank import and export): `done` gets the program or -1.
  void SelectProgramDialog(const std::string& title, int preselect, std::function<void(int)> done);

  // Commands of the File menu and the program strip.
  void WriteCommand();
  void InitCommand();
  void PanicCommand();
  void LoadLibrary();
  void SaveLibrary();
  void InitLibrary();
  void ImportSingle();
  void ExportSingle();
  void ImportBank();
  void ExportBank();

  // Components ------------------------------------------------------------------------------------
  ImageBox* menuFileImage = nullptr;
  ImageBox* menuOptImage = nullptr;
  ImageBox* menuInfoImage = nullptr;
  Panel* StatusPanel2 = nullptr;
  Label* StatusLabel2 = nullptr;
  Panel* progPanel = nullptr;
  Label* progIdxLabel = nullptr;
  TextBox* progNameEdit = nullptr;
  TGraphButton* upButton = nullptr;
  TGraphButton* downButton = nullptr;
  TGraphButton* writeButton = nullptr;
  TGraphButton* initButton = nullptr;
  TGraphButton* sysExSendButton = nullptr;
  TGraphButton* sysExReqButton = nullptr;
  TGraphButton* panicButton = nullptr;
  std::array<ImageBox*, 5> captionImages{};
  Panel* displayPanel = nullptr;
  TsegLCD2* lcd = nullptr;
  std::array<TGraphKnobB*, 10> knobs{};
  ImageBox* LogoImage = nullptr;
  TMusicKeysSimple* MusicKeys = nullptr;
  Panel* Panel1 = nullptr;
  Label* StatusLabel1 = nullptr;
  TAniGIF KnobGif, upDownGif, ButtGIF;
  PopupMenu menuPagePopup, SelectPopup, menuFilePopup, menuOptionsPopup, menuInfoPopup;

  ClcdCtr* Controller() const { return ctr_.get(); }
  CsimpleTimer* Timer() const { return timer_.get(); }
  const Control* StatusSender() const { return statusSender_; }
  const std::string& LibraryFolder() const { return libraryFolder_; }
  const std::string& SysExFolder() const { return sysExFolder_; }
  bool NameBoxTracked() const { return nameTracked_; }
  Control* KeyHookTarget() const { return keyHookTarget_; }
  int KeyHookCount() const { return keyHookCount_; }

  void paint(Canvas& canvas) override { canvas.fillRect(clientRect(), colour); }
  void keyDown(int key, ShiftState shift) override;
  void keyUp(int key, ShiftState shift) override;

 private:
  void buildComponents();
  bool shortcut(int key);
  void buildMenus();
  void wireHints(Control& c);
  void hintFrom(Control& sender);
  void highlight(int ordinal);
  void knobChanged(TGraphKnobB& knob);
  // The page menu; with the sound word of the field or knob clicked (-1: none) it also offers
  // to learn or forget that word's MIDI controller.
  void openPageMenu(Point windowPoint, int word = -1);
  int wordAt(Control& clicked, Point at) const;
  void openControllersDialog();
  void updateLearnOptions();
  void watchOutsideChanges();
  void openProgramList();
  void popupBelow(Control& c, PopupMenu& menu);
  void setRestoreMenu(bool on);
  void setRestoreKnob(bool on);
  void updateMidiOptions();
  void trackNameBox();
  void nameBoxFocus(bool gained);
  void refreshVoices();
  void changeSounds(const std::function<void()>& change);
  void ask(const std::string& caption, const std::string& text, MessageButtons buttons,
           std::function<void(MessageResult)> then);
  void tell(const std::string& caption, const std::string& text);
  // `title` says what is opened or saved ("Save library").
  void fileDialog(const std::string& title, bool save, std::string& folder, const std::string& filter,
                  const std::string& ext, const std::string& proposed, std::function<void(const std::string&)> then);
  // A SysEx file whose dump the end cuts short is refused with what is missing (true).
  bool refusedCutShort(const std::string& path, const std::vector<std::uint8_t>& data);
  // Imports with the header check; when that fails, offers the import without it.
  void importWithRetry(std::function<bool(bool check)> import);
  bool replaceMemory(const std::string& done, const std::function<bool()>& replace);
  void importSingleData(std::vector<std::uint8_t> data);
  void importBankData(std::vector<std::uint8_t> data, int first);
  Ckv_soundMan& sounds();

  IEditorEngine* engine_ = nullptr;
  std::unique_ptr<IMidiExchange> midi_;
  std::unique_ptr<ClcdCtr> ctr_;
  TimerEventService* timerService_ = nullptr;
  std::unique_ptr<CsimpleTimer> timer_;
  bool voiceToggle_ = true;
  bool setUp_ = false;
  std::string libraryFolder_, sysExFolder_;
  bool restoreMenu_ = false, restoreKnob_ = false;
  PopupMenu* scaleMenu_ = nullptr;
  bool hasOptionsCommands_ = false;
  std::uint32_t soundChangesSeen_ = 0;
  int learning_ = -1;  // the word armed for MIDI learn from this window, until a controller took it
  std::function<void()> refillControllers_;  // of the open "MIDI controllers" dialog
  Point savedPointer_{};
  Control* keyHookTarget_ = nullptr;
  int keyHookCount_ = 0;
  bool nameTracked_ = false;
  std::string nameBefore_;  // what Escape in the name box brings back
  Control* statusSender_ = nullptr;
  std::string lastVoiceText_;
  std::atomic<unsigned> posted_{0};        // bits of 0x8002 and 0x8003
  std::atomic<unsigned> pendingTicks_{0};  // 0x8004 messages not yet handled
  // Guards the callbacks of dialogs still open when the window goes.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace korvo
