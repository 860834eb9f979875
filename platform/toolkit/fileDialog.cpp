#include "fileDialog.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace korvo {

namespace fs = std::filesystem;

namespace {
std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string pathText(const fs::path& p) { return p.lexically_normal().string(); }
}  // namespace

std::vector<std::string> filterExtensions(const std::string& filter) {
  std::vector<std::string> out;
  const std::size_t bar = filter.find('|');
  const std::string patterns = bar == std::string::npos ? filter : filter.substr(bar + 1);
  std::size_t start = 0;
  while (start <= patterns.size()) {
    std::size_t end = patterns.find(';', start);
    if (end == std::string::npos) end = patterns.size();
    std::string p = patterns.substr(start, end - start);
    const std::size_t dot = p.rfind('.');
    if (dot != std::string::npos && p.find('*') != std::string::npos) {
      std::string ext = lower(p.substr(dot));
      if (ext != ".*") out.push_back(ext);
    }
    start = end + 1;
  }
  return out;
}

bool matchesFilter(const std::string& fileName, const std::vector<std::string>& extensions) {
  if (extensions.empty()) return true;
  const std::string ext = lower(fs::path(fileName).extension().string());
  return std::find(extensions.begin(), extensions.end(), ext) != extensions.end();
}

std::string withDefaultExtension(const std::string& name, const std::string& defaultExtension) {
  if (defaultExtension.empty() || fs::path(name).has_extension()) return name;
#ifdef _WIN32
  return name + "." + defaultExtension;
#else
  return name + "." + lower(defaultExtension);
#endif
}

FileDialogView::FileDialogView(const FileDialogRequest& request)
    : DialogFrame(420, 272), request_(request), extensions_(filterExtensions(request.filter)) {
  title = !request.title.empty() ? request.title : (request.save ? "Save As" : "Open");
  Control& c = client();
  auto* look = c.add<Label>();
  look->setBounds(8, 8, 60, 16);
  look->text = "Folder:";
  path_ = c.add<Label>();
  path_->setBounds(64, 8, 348, 16);
  list_ = c.add<ListBox>();
  list_->setBounds(8, 28, 404, 170);
  list_->tabStop = true;
  list_->onChange = [this](ListBox&) { entryChosen(false); };
  list_->onDblClick = [this](Control&) { entryChosen(true); };
  // Enter and Escape close the dialog from whichever control has the focus.
  auto keysOfDialog = [this](Control&, int key, ShiftState) {
    if (key == keys::Escape) cancel();
    if (key == keys::Return && list_->focused()) accept();
  };
  list_->onKeyDown = keysOfDialog;
  // Typing while the list has the keys starts a name.
  list_->onKeyPress = [this](Control&, char32_t ch) {
    if (ch < 32 || ch == 127) return;
    name_->setFocus();
    name_->keyPress(ch);
  };
  auto* nameLabel = c.add<Label>();
  nameLabel->setBounds(8, 208, 60, 16);
  nameLabel->text = "File name:";
  name_ = c.add<TextBox>();
  name_->setBounds(72, 205, 340, 21);
  name_->tabStop = true;
  name_->setText(request.fileName);
  name_->onEnter = [this](TextBox&) { accept(); };
  name_->onKeyDown = keysOfDialog;
  status_ = c.add<Label>();
  status_->setBounds(8, 240, 220, 16);
  status_->fontColour = rgb(170, 0, 0);
  auto* ok = c.add<PushButton>();
  ok->setBounds(248, 236, 78, 25);
  ok->caption = request.save ? "Save" : "Open";
  ok->tabStop = true;
  ok->onClick = [this](Control&) { accept(); };
  auto* cancelButton = c.add<PushButton>();
  cancelButton->setBounds(334, 236, 78, 25);
  cancelButton->caption = "Cancel";
  cancelButton->tabStop = true;
  cancelButton->onClick = [this](Control&) { cancel(); };
  for (Control* x : {static_cast<Control*>(look), static_cast<Control*>(path_), static_cast<Control*>(nameLabel),
                     static_cast<Control*>(status_), static_cast<Control*>(ok), static_cast<Control*>(cancelButton),
                     static_cast<Control*>(list_), static_cast<Control*>(name_)})
    x->font = font;
  std::error_code ec;
  std::string start = request.folder;
  if (start.empty() || !fs::is_directory(start, ec)) start = fs::current_path(ec).string();
  openFolder(start);
}

void FileDialogView::openFolder(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  if (ec) p = path;
  std::vector<std::string> folders, files;
  bool readable = true;
  fs::directory_iterator it(p, fs::directory_options::skip_permission_denied, ec);
  if (ec) readable = false;
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    if (entry.empty() || entry[0] == '.') continue;  // hidden entries, as file managers do
    std::error_code e2;
    if (it->is_directory(e2))
      folders.push_back(entry);
    else if (it->is_regular_file(e2) && matchesFilter(entry, extensions_))
      files.push_back(entry);
  }
  auto byName = [](const std::string& a, const std::string& b) { return lower(a) < lower(b); };
  std::sort(folders.begin(), folders.end(), byName);
  std::sort(files.begin(), files.end(), byName);
  folder_ = pathText(p);
  if (folder_.size() > 1 && (folder_.back() == '/' || folder_.back() == '\\')) folder_.pop_back();
  std::vector<std::string> items;
  isFolder_.clear();
  if (p.has_parent_path() && p.parent_path() != p) {
    items.push_back("[..]");
    isFolder_.push_back(true);
  }
  for (const auto& f : folders) {
    items.push_back("[" + f + "]");
    isFolder_.push_back(true);
  }
  for (const auto& f : files) {
    items.push_back(f);
    isFolder_.push_back(false);
  }
  list_->setItems(std::move(items));
  path_->text = folder_;
  path_->invalidate();
  status_->text = readable ? "" : "This folder cannot be read.";
  status_->invalidate();
}

void FileDialogView::entryChosen(bool viaDoubleClick) {
  const int i = list_->itemIndex();
  if (i < 0 || i >= static_cast<int>(isFolder_.size())) return;
  if (!isFolder_[static_cast<std::size_t>(i)]) {
    name_->setText(list_->items[static_cast<std::size_t>(i)]);
    if (viaDoubleClick) accept();
    return;
  }
  if (viaDoubleClick) {
    const std::string& item = list_->items[static_cast<std::size_t>(i)];
    const std::string sub = item.substr(1, item.size() - 2);
    openFolder(sub == ".." ? fs::path(folder_).parent_path().string() : (fs::path(folder_) / sub).string());
  }
}

void FileDialogView::accept() {
  const int i = list_->itemIndex();
  if (i >= 0 && i < static_cast<int>(isFolder_.size()) && isFolder_[static_cast<std::size_t>(i)] && !name_->focused()) {
    entryChosen(true);
    return;
  }
  std::string typed = name_->text();
  if (typed.empty()) return;
  fs::path target = fs::path(typed).is_absolute() ? fs::path(typed) : fs::path(folder_) / typed;
  std::error_code ec;
  if (fs::is_directory(target, ec)) {
    name_->setText("");
    openFolder(target.string());
    return;
  }
  target = fs::path(withDefaultExtension(target.string(), request_.defaultExtension));
  // Extensions are written either way ("pad.syx" for "pad" + SYX): an existing file whose name
  // differs only in case is the one meant.
  if (!fs::exists(target, ec)) {
    const std::string wanted = lower(target.filename().string());
    for (fs::directory_iterator it(target.parent_path(), ec); !ec && it != fs::directory_iterator(); it.increment(ec))
      if (lower(it->path().filename().string()) == wanted) {
        target = it->path();
        break;
      }
  }
  if (!request_.save && !fs::is_regular_file(target, ec)) {
    status_->text = "The file does not exist.";
    status_->invalidate();
    return;
  }
  finish(pathText(target));
}

void FileDialogView::cancel() { finish(""); }

void FileDialogView::finish(std::string path) {
  if (finished_) return;
  finished_ = true;
  result_ = std::move(path);
  if (onClose) onClose(*this);
}

Control* FileDialogView::initialFocus() { return request_.save ? static_cast<Control*>(name_) : list_; }

void FileDialogView::keyDown(int key, ShiftState shift) {
  DialogFrame::keyDown(key, shift);
  if (key == keys::Escape) cancel();
  if (key == keys::Return) accept();
}

}  // namespace korvo
