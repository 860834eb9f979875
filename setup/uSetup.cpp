#include "uSetup.h"

#include <algorithm>

#include "VSTaux.h"
#include "settingsStore.h"

namespace korvo::setup {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the root at the start of a path: "c:\" -> 3, "/" -> 1, a relative path -> 0.
std::size_t rootLength(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':' && ((path[0] >= 'a' && path[0] <= 'z') || (path[0] >= 'A' && path[0] <= 'Z')))
    return (path.size() >= 3 && isSeparator(path[2])) ? 3 : 2;
  if (!path.empty() && isSeparator(path[0])) return 1;
  return 0;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithFolder(const std::string& path, const std::string& root) {
  if (path.size() < root.size()) return false;
  for (std::size_t i = 0; i < root.size(); ++i)
    if (lowerAscii(path[i]) != lowerAscii(root[i]) && !(isSeparator(path[i]) && isSeparator(root[i]))) return false;
  return true;
}

// Creates a folder and the folders above it that are missing.
bool createFolderPath(SetupFileSystem& fs, const std::string& path) {
  if (fs.isDirectory(path)) return true;
  const std::size_t root = rootLength(path);
  std::size_t cut = path.size();
  while (cut > root && !isSeparator(path[cut - 1])) --cut;
  if (cut <= root && root == 0) return false;  // a relative name: nothing to create it in
  const std::string parent = normalFolder(path.substr(0, std::max(cut, root)));
  if (parent != path && !createFolderPath(fs, parent)) return false;
  return fs.createDirectory(path);
}

}  // namespace

std::vector<InstallFile> installFiles(const std::string& plugin) {
  return {{plugin, Target::Chosen, false, true},
          {"wavrom.bin", Target::Data, false, true},
          {"Korvo_backup.dat", Target::Data, true, false},
          {"factory.kvl", Target::User, true, false},
          {"readme.txt", Target::Product, false, false}};
}

std::vector<InstallFile> plannedFiles(const SetupEnvironment& env) {
  std::vector<InstallFile> files = installFiles(env.pluginFile);
  if (!env.installVst2) files.erase(files.begin());
  if (env.installClap)
    files.insert(env.installVst2 ? files.begin() + 1 : files.begin(), {env.clapFile, Target::Clap, false, true});
  if (!env.standaloneFile.empty()) files.push_back({env.standaloneFile, Target::Chosen, false, false, true});
  return files;
}

bool clapOffered(SetupEnvironment& env) {
  return !env.clapFile.empty() && !env.clapFolder.empty() && env.files.exists(joinPath(env.setupFolder, env.clapFile));
}

Folders deriveFolders(const std::string& chosen) {
  Folders f;
  f.chosen = chosen;
  f.product = joinPath(chosen, "Korvo");
  f.data = joinPath(f.product, "data");
  f.user = joinPath(f.product, "user");
  return f;
}

std::string normalFolder(const std::string& path) {
  std::string p = path;
  std::size_t root = rootLength(p);
  if (root == 2) {  // "c:" means the drive's root here
    p += '\\';
    root = 3;
  }
  while (p.size() > root && p.size() > 1 && isSeparator(p.back())) p.pop_back();
  return p;
}

std::string sourceOf(SetupEnvironment& env, const InstallFile& file) {
  const std::string beside = joinPath(env.setupFolder, file.name);
  if (env.files.exists(beside) || file.target == Target::Chosen || file.target == Target::Clap) return beside;
  // A package that is itself an installation (the Linux one) keeps the data files in their
  // places below the product folder.
  std::string folder = joinPath(env.setupFolder, "Korvo");
  if (file.target == Target::Data) folder = joinPath(folder, "data");
  if (file.target == Target::User) folder = joinPath(folder, "user");
  const std::string below = joinPath(folder, file.name);
  return env.files.exists(below) ? below : beside;
}

std::string safetyCopyName(SetupFileSystem& files, const std::string& target, const std::string& source) {
  if (!files.exists(target) || files.sameContent(target, source)) return {};
  auto copyName = [&](int n) { return target + "~" + (n == 1 ? std::string() : std::to_string(n)); };
  int free = 0;
  for (int n = 1; files.exists(copyName(n)); ++n) {
    if (files.sameContent(copyName(n), target)) return {};
    if (free == 0 && files.sameContent(copyName(n), source)) free = n;
  }
  if (free == 0)
    for (free = 1; files.exists(copyName(free));) ++free;
  return copyName(free);
}

namespace {

std::string folderFor(const Folders& f, Target target) {
  return target == Target::Chosen ? f.chosen
         : target == Target::Data ? f.data
         : target == Target::User ? f.user
         : target == Target::Clap ? f.clap
                                  : f.product;
}

// "Korvo_backup.dat as Korvo_backup.dat~2, factory.kvl as factory.kvl~"
std::string keptList(const std::vector<std::pair<std::string, std::string>>& kept, bool fullPaths) {
  std::string text;
  for (const auto& [name, copy] : kept) {
    if (!text.empty()) text += ", ";
    const std::string copyName = fullPaths ? copy : copy.substr(copy.rfind(name));
    text += name + " as " + copyName;
  }
  return text;
}

}  // namespace

InstallOutcome install(SetupEnvironment& env, const std::string& chosen) {
  SetupMessages& say = env.messages;
  SetupFileSystem& fs = env.files;
  Folders f = deriveFolders(chosen);
  f.clap = env.clapFolder;
  if (!env.installVst2 && !env.installClap) {
    say.show("Choose the VST 2 plug-in, the CLAP plug-in or both.", "Nothing to install", false);
    return InstallOutcome::Refused;
  }

  if (say.show("Install to " + f.chosen + " ?", "", true) == Answer::Cancel) return InstallOutcome::Cancelled;
  // A typed folder may not exist yet: it is offered to be made, and refused only when it cannot be.
  if (!fs.isDirectory(f.chosen)) {
    if (say.show("The folder " + f.chosen + " does not exist. Create it?", "", true) == Answer::Cancel)
      return InstallOutcome::Cancelled;
    if (!createFolderPath(fs, f.chosen)) {
      say.show("Please select existing directory.", "Invalid directory", false);
      return InstallOutcome::Refused;
    }
  }
  // The files that hold the user's sounds, and where each is kept before it is replaced.
  std::vector<std::pair<std::string, std::string>> safety;
  for (const InstallFile& file : plannedFiles(env))
    if (file.safetyCopy)
      safety.emplace_back(file.name,
                          safetyCopyName(fs, joinPath(folderFor(f, file.target), file.name), sourceOf(env, file)));
  std::erase_if(safety, [](const auto& s) { return s.second.empty(); });
  if (fs.exists(f.product)) {
    const std::string keeps =
        safety.empty() ? std::string() : "\nYour sounds are kept: " + keptList(safety, false) + ".";
    if (say.show("The directory " + f.product + " already exists. Install anyway?" + keeps, "", true) == Answer::Cancel)
      return InstallOutcome::Cancelled;
  } else if (!fs.createDirectory(f.product)) {
    say.show("Could not create subfolder", "Error.", false);
    return InstallOutcome::Refused;
  }
  for (const char* sub : {"data", "user"}) {
    const std::string& folder = std::string(sub) == "data" ? f.data : f.user;
    if (!fs.isDirectory(folder) && !fs.createDirectory(folder)) {
      say.show(std::string("Could not create subfolder \"") + pathSeparator() + sub + "\"", "Error.", false);
      return InstallOutcome::Refused;
    }
  }

  if (env.installClap && !fs.isDirectory(f.clap) && !createFolderPath(fs, f.clap)) {
    say.show("Could not create the CLAP folder " + f.clap, "Error.", false);
    return InstallOutcome::Refused;
  }

  std::vector<std::pair<std::string, std::string>> kept;
  for (const InstallFile& file : plannedFiles(env)) {
    if (file.optional && !fs.exists(sourceOf(env, file))) continue;
    const std::string to = joinPath(folderFor(f, file.target), file.name);
    bool copied = true;
    // The backup and the library hold the user's sounds: without their safety copy they are not
    // overwritten (the failed copy is reported as the file's own failure).
    const auto plan = std::find_if(safety.begin(), safety.end(), [&](const auto& s) { return s.first == file.name; });
    if (plan != safety.end()) copied = fs.copyFile(to, plan->second);
    if (copied) copied = fs.copyFile(sourceOf(env, file), to);
    if (!copied) {
      say.show("Could not copy file: " + file.name, "Error", false);
      if (file.stopOnFailure) return InstallOutcome::CopyStopped;
    } else if (plan != safety.end()) {
      kept.push_back(*plan);
    }
  }

  SettingsStore& store = env.settings;
  const bool written = store.open() && store.writeString("path_dll", f.chosen) &&
                       store.writeString("path_data", f.data) && store.writeString("path_user", f.user) &&
                       store.commit();
  if (!written) {
    say.show(env.settingsFailure, "Error", false);
    return InstallOutcome::RegistryFailed;
  }
  say.show("Korvo has been installed." +
               (env.installClap ? "\nThe CLAP plug-in is in " + f.clap + "." : std::string()) +
               (kept.empty() ? std::string() : "\nYour previous sounds are kept: " + keptList(kept, true) + "."),
           "", false);
  return InstallOutcome::Installed;
}

TForm1::TForm1(SetupEnvironment& env, const std::string& startFolder) : env_(env) {
  drives_ = env_.files.drives();
  setDirectory(startFolder);
}

void TForm1::setDirectory(const std::string& path) {
  directory_ = normalFolder(path);
  refresh();
}

void TForm1::refresh() {
  entries_.clear();
  const std::size_t root = rootLength(directory_);
  int depth = 0;
  if (root > 0) entries_.push_back({directory_.substr(0, root), directory_.substr(0, root), depth++, false});
  std::size_t start = root;
  while (start < directory_.size()) {
    std::size_t end = start;
    while (end < directory_.size() && !isSeparator(directory_[end])) ++end;
    if (end > start)
      entries_.push_back({directory_.substr(start, end - start), directory_.substr(0, end), depth++, false});
    start = end + 1;
  }
  if (!entries_.empty()) entries_.back().current = true;
  for (const std::string& name : env_.files.subfolders(directory_))
    entries_.push_back({name, joinPath(directory_, name), depth, false});
}

void TForm1::openEntry(std::size_t index) {
  if (index < entries_.size()) setDirectory(entries_[index].path);
}

int TForm1::driveIndex() const {
  for (std::size_t i = 0; i < drives_.size(); ++i)
    if (startsWithFolder(directory_, drives_[i])) return static_cast<int>(i);
  return -1;
}

void TForm1::selectDrive(std::size_t index) {
  if (index < drives_.size()) setDirectory(drives_[index]);
}

InstallOutcome TForm1::OkButtonClick() {
  const InstallOutcome outcome = install(env_, directory_);
  if (outcome == InstallOutcome::Installed)
    closed_ = true;
  else
    refresh();  // folders may have been created meanwhile
  return outcome;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
  CommandLine line;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string upper = a;
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (upper == "/S") {
      line.unattended = true;
    } else if (upper == "/NOVST2") {
      line.noVst2 = true;
    } else if (upper == "/NOCLAP") {
      line.noClap = true;
    } else if (upper.rfind("/D=", 0) == 0) {
      line.folder = a.substr(3);
      for (std::size_t j = i + 1; j < args.size(); ++j) line.folder += " " + args[j];
      if (line.folder.size() >= 2 && line.folder.front() == '"' && line.folder.back() == '"')
        line.folder = line.folder.substr(1, line.folder.size() - 2);
      // /D="C:\VST\" reaches the program as C:\VST" (the backslash escapes the quote).
      else if (!line.folder.empty() && line.folder.back() == '"')
        line.folder.pop_back();
      if (line.folder.empty()) line.error = "/D= needs a folder";
      break;
    } else {
      line.error = "unknown argument: " + a + " (usage: korvinst [/S] [/NOVST2] [/NOCLAP] [/D=<folder>])";
      break;
    }
  }
  return line;
}

Answer UnattendedMessages::show(const std::string& text, const std::string& caption, bool question) {
  if (question) return Answer::Ok;  // nobody is there to answer: /S means yes, and asks nothing
  if (caption.empty())
    std::fprintf(out_, "korvinst: %s\n", text.c_str());
  else
    std::fprintf(out_, "korvinst: [%s] %s\n", caption.c_str(), text.c_str());
  std::fflush(out_);
  return Answer::Ok;
}

int runUnattended(SetupEnvironment& env, const std::string& folder) {
  return install(env, normalFolder(folder)) == InstallOutcome::Installed ? 0 : 1;
}

}  // namespace korvo::setup
