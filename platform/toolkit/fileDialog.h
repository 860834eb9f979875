// FileDialogView: the drawn file open and save dialog: the folder it shows, its sub-folders and
// the files that match the filter, a name box, and OK and Cancel. Folders open with a double
// click (or OK while one is selected); ".." goes up. Used where the system offers no dialog of
// its own, and by the tests.
#pragma once

#include <string>
#include <vector>

#include "dialog.h"
#include "host.h"

namespace korvo {

// The patterns of a filter "Description (*.A)|*.A;*.B" as lower-case extensions with the dot.
std::vector<std::string> filterExtensions(const std::string& filter);
// Whether a file name matches one of them (no extensions: everything matches).
bool matchesFilter(const std::string& fileName, const std::vector<std::string>& extensions);
// The name with the default extension appended when it has none: in lower case on Linux, where
// the files beside it are named so ("factory.kvl"), as given on Windows.
std::string withDefaultExtension(const std::string& name, const std::string& defaultExtension);

class FileDialogView : public DialogFrame {
 public:
  explicit FileDialogView(const FileDialogRequest& request);

  // Lists `path` (an unreadable folder lists nothing and says so).
  void openFolder(const std::string& path);
  const std::string& folder() const { return folder_; }
  // The entries as listed: "[..]", "[name]" for folders, then the matching files.
  const std::vector<std::string>& entries() const { return list_->items; }
  ListBox& list() { return *list_; }
  TextBox& nameBox() { return *name_; }
  // What OK does: opens a selected or typed folder, else accepts the file (an open dialog only
  // an existing one).
  void accept();
  void cancel();

  // The chosen path, empty when cancelled.
  const std::string& result() const { return result_; }
  std::function<void(FileDialogView&)> onClose;

  void keyDown(int key, ShiftState shift) override;
  // A save dialog opens with the keys in the name box, an open dialog in the list.
  Control* initialFocus() override;

 private:
  void entryChosen(bool viaDoubleClick);
  void finish(std::string path);
  FileDialogRequest request_;
  std::vector<std::string> extensions_;
  std::string folder_;
  std::vector<bool> isFolder_;
  Label* path_ = nullptr;
  Label* status_ = nullptr;
  ListBox* list_ = nullptr;
  TextBox* name_ = nullptr;
  std::string result_;
  bool finished_ = false;
};

}  // namespace korvo
