// The real file system behind the setup program.
#pragma once

#include "uSetup.h"

namespace korvo::setup {

class SystemFileSystem : public SetupFileSystem {
 public:
  bool isDirectory(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool createDirectory(const std::string& path) override;
  bool copyFile(const std::string& from, const std::string& to) override;
  bool sameContent(const std::string& a, const std::string& b) override;
  std::vector<std::string> subfolders(const std::string& path) override;
  std::vector<std::string> drives() override;
};

// The folder of the running program (the setup folder).
std::string programFolder();
// The folder CLAP hosts scan for every user: "<Common Files>\CLAP" on Windows, ~/.clap elsewhere
// (empty when it cannot be told).
std::string defaultClapFolder();

}  // namespace korvo::setup
