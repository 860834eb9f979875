#include "manualPictures.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "editorMidi.h"
#include "editorWindow.h"
#include "headlessHost.h"
#include "manualPages.h"
#include "menu.h"
#include "messageBox.h"
#include "midiBackend.h"
#include "plugInstance.h"
#include "settingsStore.h"
#include "soundMan.h"
#include "uSelSingleForm.h"
#include "VSTaux.h"

namespace korvo {

namespace {

// The display timer is driven by hand, so every picture shows a settled display.
class HandTimers : public TimerEventService {
 public:
  unsigned setEvent(unsigned, unsigned, std::function<void(unsigned)>) override { return ++id_; }
  void killEvent(unsigned) override {}

 private:
  unsigned id_ = 0;
};

// What a picture shows where a menu reaches past the window.
constexpr Pixel kMargin = 0xFFFFFFFF;

// Port names as a USB interface with the instrument on it shows them.
const std::vector<std::string> kPortNames = {"Midi Through Port-0", "USB MIDI Interface MIDI 1"};

class Photographer {
 public:
  Photographer(const std::string& dataFolder, const std::string& work, const std::string& out) : out_(out) {
    // The file dialogs start in the user folder: a "Korvo/user" with the files a musician keeps.
    const std::string user = (std::filesystem::path(work) / "Korvo" / "user").string();
    std::error_code ec;
    std::filesystem::create_directories(user, ec);
    InstanceEnvironment env;
    env.settingsStore = std::make_shared<FileSettingsStore>((std::filesystem::path(work) / "settings.conf").string());
    env.useSystemDefaults = false;
    env.defaults = {work, work, user};
    env.dataFolderOverride = dataFolder;
    env.saveOnDestroy = false;
    instance_ = std::make_unique<CplugInstance>(44100, env);
    window_ = std::make_unique<EditorWindow>(nullptr, *instance_, WindowHostFactory{}, &timers_);
    window_->show();
    form().SetMidiExchange(
        std::make_unique<EditorMidi>(form(), *instance_, std::make_shared<LoopbackMidi>(kPortNames)));
    bankFile_ = (std::filesystem::path(user) / "leads.syx").string();
    std::vector<std::uint8_t> dump;
    if (!form().Engine()->soundMan().ProgMan().ExportBank(16, dump) ||
        writeWholeFile(bankFile_, dump.data(), dump.size()) != 0)
      run_.error = "cannot write " + bankFile_;
    if (form().Engine()->soundMan().ProgMan().ExportSingle(Ckv_progMan::EditSlot(), dump))
      writeWholeFile((std::filesystem::path(user) / "round bass.syx").string(), dump.data(), dump.size());
  }

  TplugEditForm& form() { return window_->form(); }
  HeadlessHost& host() { return static_cast<HeadlessHost&>(window_->host()); }
  const PictureRun& run() const { return run_; }

  // The window as it stands, with the open dialogs drawn where they opened.
  Image picture() {
    form().DisplayTick();
    Image image = host().frame();
    Canvas canvas(image);
    for (std::size_t i = 0; i < host().modalCount(); ++i) {
      Control* d = host().modalAt(i);
      canvas.blit(d->left(), d->top(), HeadlessHost::renderControl(*d, host().scale()));
    }
    return image;
  }
  void save(const Image& image, const std::string& name) {
    if (!run_.error.empty()) return;
    if (!savePng(image, (std::filesystem::path(out_) / name).string()))
      run_.error = "cannot write " + name;
    else
      run_.written.push_back(name);
  }
  void shoot(const std::string& name) { save(picture(), name); }
  // The window with the menu opened last, on a canvas grown to hold all of the menu (a long
  // menu reaches past the window, as on a screen).
  void shootMenu(const std::string& name) {
    const Image window = picture();
    PopupMenu* menu = host().lastMenu;
    if (!menu) {
      if (run_.error.empty()) run_.error = "no menu opened for " + name;
      return;
    }
    MenuView view(*menu);
    view.layout();
    const Image drawn = HeadlessHost::renderControl(view, host().scale());
    const Point at = host().toUnits(host().lastMenuPoint);
    Image image(std::max(window.width(), at.x + drawn.width()), std::max(window.height(), at.y + drawn.height()),
                kMargin);
    Canvas canvas(image);
    canvas.blit(0, 0, window);
    canvas.blit(at.x, at.y, drawn);
    save(image, name);
  }
  // Takes the picture of the dialog a command opened, then closes it.
  void shootDialog(const std::string& name) {
    if (host().modalCount() == 0) {
      if (run_.error.empty()) run_.error = "no dialog opened for " + name;
      return;
    }
    shoot(name);
    while (host().modalCount() > 0) {
      if (!host().answerMessage(MessageResult::Cancel)) host().closeModal(*host().topModal());
    }
  }

  Point centre(const Control& c) const { return c.toWindow({c.width() / 2, c.height() / 2}); }

  void firstShow() {
    shoot("first-show.png");
    window_->setScale(200);
    shoot("first-show-200.png");
    window_->setScale(100);
  }

  // Each page with its first knob-bound field clicked: underlined, its help in the status line.
  void pages() {
    ClcdCtr& ctr = *form().Controller();
    for (int i = 0; i < ctr.PageCount(); ++i) {
      ctr.SelectPage(i);
      ClcdCtr_page& page = *ctr.Page();
      for (int o = 0; o < page.FieldCount(); ++o) {
        const ClcdCtr_param& f = *page.Field(o);
        if (f.FieldNumber() < 0) continue;
        const int column = f.column + static_cast<int>(f.label.size());
        const Point at = form().lcd->toWindow({form().lcd->CharLeft(column) + 2, form().lcd->CharTop(f.row) + 2});
        host().move(at);
        host().click(at);
        break;
      }
      shoot(pagePicturePath(i).substr(std::string("pictures/").size()));
    }
    ctr.SelectPage(0);
  }

  void menus() {
    form().SetStatusText("");      // no field's help left over from the pages
    host().menuChooser = nullptr;  // every menu is cancelled after its picture
    host().doubleClickAt(centre(*form().progNameEdit));
    shootMenu("program-list.png");
    const Point panel = form().displayPanel->toWindow({270, 5});
    host().move(panel);
    host().click(panel, MouseButton::Right);
    shootMenu("page-menu.png");
    host().click(centre(*form().menuFileImage));
    shootMenu("file-menu.png");
    host().click(centre(*form().menuOptImage));
    shootMenu("options-menu.png");
    // The value menu: a double click on the wave of OSC1 Pitch.
    ClcdCtr& ctr = *form().Controller();
    ctr.SelectPage(2);
    if (const ClcdCtr_param* wave = ctr.Page()->FieldByName("WAVE")) {
      const int column = wave->column + static_cast<int>(wave->label.size());
      const Point at = form().lcd->toWindow({form().lcd->CharLeft(column) + 2, form().lcd->CharTop(wave->row) + 2});
      host().move(at);  // the display finds the cell where the pointer last moved
      host().doubleClickAt(at);
      shootMenu("value-menu.png");
    }
    ctr.SelectPage(0);
  }

  void dialogs() {
    form().SetStatusText("");
    host().click(centre(*form().writeButton));
    shootDialog("dialog-write.png");
    host().menuChooser = HeadlessHost::choose("Request Pemmet/Halvet Single SysEx...");
    host().click(centre(*form().menuFileImage));
    host().menuChooser = nullptr;
    shootDialog("dialog-midi-port.png");
    form().InitLibrary();
    shootDialog("dialog-init-library.png");
    form().ImportSingle();
    shootDialog("dialog-file.png");
    bankImportQuestion();
    form().ShowAbout();
    shootDialog("dialog-about.png");
  }

  // The question a bank import asks after the program chooser.
  void bankImportQuestion() {
    host().fileAnswers.push_back(bankFile_);
    form().ImportBank();
    auto* chooser = dynamic_cast<TSelSingleForm*>(host().topModal());
    if (!chooser) {
      run_.error = "the bank import opened no program chooser";
      return;
    }
    chooser->okButton->click();
    shootDialog("dialog-bank-import.png");
  }

 private:
  std::string out_;
  std::string bankFile_;  // a bank dump in the user folder, for the import pictures
  HandTimers timers_;
  std::unique_ptr<CplugInstance> instance_;
  std::unique_ptr<EditorWindow> window_;
  PictureRun run_;
};

}  // namespace

PictureRun makeManualPictures(const std::string& dataFolder, const std::string& workFolder, const std::string& outDir) {
  std::error_code ec;
  std::filesystem::remove_all(workFolder, ec);
  std::filesystem::create_directories(workFolder, ec);
  Photographer p(dataFolder, workFolder, outDir);
  p.firstShow();
  p.pages();
  p.menus();
  p.dialogs();
  return p.run();
}

}  // namespace korvo
