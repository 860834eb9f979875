// A plug-in binary opened as a host opens it (dlopen, LoadLibrary): what vsthost and claphost share.
#pragma once

#include <string>

namespace korvo::tools {

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Opens the file; false with a message naming it when it is missing or the system refuses it.
  bool open(const std::string& path, std::string& error);
  // The exported symbol, or null.
  void* symbol(const char* name) const;
  bool isOpen() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};

}  // namespace korvo::tools
