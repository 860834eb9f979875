// The setup program's behaviour, free of any window system: the form's state (folder list, drive
// list, path label), the Install and Abort buttons, and the installation steps. The Win32 window,
// the terminal and the unattended mode are thin front ends over TForm1; the file system, the
// settings store and the message boxes come in through the small interfaces below, so the whole
// sequence runs in tests against a scratch folder.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace korvo {

class SettingsStore;

namespace setup {

// What the installation does to files and folders. Paths are the system's own.
class SetupFileSystem {
 public:
  virtual ~SetupFileSystem() = default;
  virtual bool isDirectory(const std::string& path) = 0;
  virtual bool exists(const std::string& path) = 0;
  // Creates one folder (its parent exists); false when it cannot.
  virtual bool createDirectory(const std::string& path) = 0;
  // Copies `from` over `to`. The target is replaced only by a complete copy, so a failed copy
  // leaves a previous target as it was.
  virtual bool copyFile(const std::string& from, const std::string& to) = 0;
  // Whether two files exist and hold the same bytes.
  virtual bool sameContent(const std::string& a, const std::string& b) = 0;
  // The sub-folders of a folder, by name, sorted as the folder list shows them.
  virtual std::vector<std::string> subfolders(const std::string& path) = 0;
  // The roots the drive list offers ("c:\", "d:\" on Windows; "/" elsewhere).
  virtual std::vector<std::string> drives() = 0;
};

enum class Answer { Ok, Cancel };

// A message box with the buttons OK and Cancel. Only the two questions (`question`) look at the
// answer; a front end without boxes may skip asking for the others.
class SetupMessages {
 public:
  virtual ~SetupMessages() = default;
  virtual Answer show(const std::string& text, const std::string& caption, bool question) = 0;
};

// The files copied from the setup folder, in their order, and where each goes.
enum class Target { Chosen, Data, User, Product, Clap };
struct InstallFile {
  std::string name;
  Target target;
  bool safetyCopy;  // an existing target is first kept as a safety copy (safetyCopyName)
  bool stopOnFailure;
  bool optional = false;  // skipped without a word when the setup folder does not have it
};
// plugin: "Korvo.dll" on Windows, "Korvo.so" elsewhere.
std::vector<InstallFile> installFiles(const std::string& plugin);

// Where an installed file that holds the user's sounds is kept before it is replaced: empty when
// no copy is needed (it is what is being installed, or a safety copy already holds it); else the
// first of NAME~, NAME~2, NAME~3... that is free or holds only what is being installed, so no
// earlier safety copy of the user's is ever replaced.
std::string safetyCopyName(SetupFileSystem& files, const std::string& target, const std::string& source);

// The product, data and user folders of a chosen folder.
struct Folders {
  std::string chosen, product, data, user, clap;
};
Folders deriveFolders(const std::string& chosen);

// How one press of Install ended.
enum class InstallOutcome {
  Cancelled,       // a question was answered Cancel
  Refused,         // the folder does not exist, or a sub-folder could not be created
  CopyStopped,     // the plug-in or the wave ROM could not be copied
  RegistryFailed,  // everything was copied but the folders could not be recorded
  Installed
};

struct SetupEnvironment {
  SetupFileSystem& files;
  SettingsStore& settings;
  SetupMessages& messages;
  std::string setupFolder;  // where the five files are copied from
  std::string pluginFile;   // "Korvo.dll" / "Korvo.so"
  // The failure text of the last step; the registry's wording unless a front end stores the
  // folders elsewhere.
  std::string settingsFailure = "Could not write to registry.";
  // The CLAP plug-in: its file in the setup folder, the folder CLAP hosts scan, and the formats
  // the user chose. The product folder (wave ROM, sounds) always goes into the chosen folder,
  // where the settings point both plug-ins.
  std::string clapFile = "Korvo.clap";
  std::string clapFolder = {};
  bool installVst2 = true;
  bool installClap = false;
  // The standalone program ("Korvo.exe", "korvo"), copied beside the VST 2 plug-in when the
  // setup folder has it; empty: none.
  std::string standaloneFile = {};
};

// The files of this installation: installFiles without the VST 2 plug-in when it is not chosen,
// with the CLAP plug-in (into the CLAP folder) when that is, and the standalone program last.
std::vector<InstallFile> plannedFiles(const SetupEnvironment& env);
// Whether the setup folder has a CLAP plug-in to offer.
bool clapOffered(SetupEnvironment& env);

// Where a file is copied from: the setup folder, else (for a setup folder laid out as an
// installation) its place below the setup folder's product folder Korvo.
std::string sourceOf(SetupEnvironment& env, const InstallFile& file);

// The steps behind the Install button for the chosen folder D.
InstallOutcome install(SetupEnvironment& env, const std::string& chosen);

// One row of the folder list: the path from the root down to the current folder, then its
// sub-folders one level deeper.
struct DirectoryEntry {
  std::string label;
  std::string path;
  int depth = 0;
  bool current = false;
};

// The setup window without its pixels.
class TForm1 {
 public:
  // The setup folder is recorded and the folder list opens `startFolder` ("c:\" on Windows).
  TForm1(SetupEnvironment& env, const std::string& startFolder);

  // DirectoryList
  const std::string& directory() const { return directory_; }
  void setDirectory(const std::string& path);
  const std::vector<DirectoryEntry>& directoryEntries() const { return entries_; }
  // A double click on a row of the folder list opens that folder.
  void openEntry(std::size_t index);

  // DriveCombo
  const std::vector<std::string>& driveList() const { return drives_; }
  int driveIndex() const;
  void selectDrive(std::size_t index);

  // PathLabel
  const std::string& pathLabel() const { return directory_; }

  // Install: true when the installation succeeded, which closes the window.
  InstallOutcome OkButtonClick();
  // Abort: closes the window.
  void CancelButtonClick() { closed_ = true; }
  bool closed() const { return closed_; }

 private:
  void refresh();

  SetupEnvironment& env_;
  std::string directory_;
  std::vector<DirectoryEntry> entries_;
  std::vector<std::string> drives_;
  bool closed_ = false;
};

// The folder list's form of a path: no trailing separator, except that a root keeps its own
// ("c:\", "/").
std::string normalFolder(const std::string& path);

// "korvinst /S /D=<folder>": the unattended mode. As installers do by convention, /D= comes
// last and takes the rest of the command line, spaces included, without quotes.
struct CommandLine {
  bool unattended = false;
  bool noVst2 = false;  // /NOVST2: the CLAP plug-in only
  bool noClap = false;  // /NOCLAP: the VST 2 plug-in only
  std::string folder;   // empty when /D= is not given
  std::string error;    // non-empty for a command line that is not understood
};
CommandLine parseCommandLine(const std::vector<std::string>& args);

// Messages of the unattended mode: each is one line on `out` (caption first when there is one);
// questions are answered OK and not printed.
class UnattendedMessages : public SetupMessages {
 public:
  explicit UnattendedMessages(std::FILE* out) : out_(out) {}
  Answer show(const std::string& text, const std::string& caption, bool question) override;

 private:
  std::FILE* out_;
};

// The unattended installation into `folder` (the same steps, every question answered OK): exit
// status 0 only when it succeeded.
int runUnattended(SetupEnvironment& env, const std::string& folder);

}  // namespace setup
}  // namespace korvo
