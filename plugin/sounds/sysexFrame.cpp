#include "sysexFrame.h"

namespace korvo {

bool checkSysExHeader(const std::uint8_t* message, std::size_t size, int& command) {
  if (message == nullptr || size < 3) return false;
  if (message[0] != kSysExStart || message[1] != kMakerId || message[2] != kFamilyId) return false;
  command = size >= 5 ? message[4] : -1;
  return true;
}

bool buildSysExHeader(std::uint8_t* buffer, int kind, std::uint8_t channel) {
  if (buffer == nullptr || (kind != kCommandSingle && kind != kCommandBank)) return false;
  buffer[0] = kSysExStart;
  buffer[1] = kMakerId;
  buffer[2] = kFamilyId;
  buffer[3] = channel;
  buffer[4] = static_cast<std::uint8_t>(kind);
  return true;
}

std::vector<SysExSpan> scanSysEx(const std::uint8_t* data, std::size_t size) {
  std::vector<SysExSpan> out;
  if (data == nullptr) return out;
  std::size_t i = 0;
  while (i < size) {
    if (data[i] != kSysExStart) {
      ++i;
      continue;
    }
    SysExSpan s;
    s.offset = i;
    std::size_t j = i + 1;
    while (j < size && data[j] != kSysExEnd && data[j] != kSysExStart) ++j;
    if (j < size && data[j] == kSysExEnd) {
      s.size = j - i + 1;
      i = j + 1;
    } else {
      s.size = j - i;
      s.complete = false;
      i = j;
    }
    int command = -1;
    s.ours = checkSysExHeader(data + s.offset, s.size, command);
    s.command = s.ours ? command : -1;
    out.push_back(s);
  }
  return out;
}

DumpInfo classifyDump(const std::uint8_t* message, std::size_t size) {
  DumpInfo info;
  int command = -1;
  if (!checkSysExHeader(message, size, command)) return info;
  std::size_t programs = 0;
  if (command == kCommandSingle) {
    info.kind = DumpKind::Single;
    programs = 1;
  } else if (command == kCommandBank) {
    info.kind = DumpKind::Bank;
    programs = kBankPrograms;
  } else {
    return info;
  }
  const std::size_t bodySize = programs * kPackedSize;
  info.bodyComplete = size >= kSysExHeaderSize + bodySize;
  info.nybblesValid = info.bodyComplete && bodyNybblesValid(message + kSysExHeaderSize, bodySize);
  return info;
}

std::string cutShortText(DumpKind kind, std::size_t size) {
  const bool bank = kind == DumpKind::Bank;
  const std::size_t need =
      static_cast<std::size_t>(kSysExHeaderSize) + (bank ? kBankPrograms : 1) * static_cast<std::size_t>(kPackedSize);
  return std::string(bank ? "bank" : "single") + " dump is cut short: " + std::to_string(size) + " bytes, " +
         std::to_string(need) + " needed";
}

std::string cutShortDump(const std::uint8_t* data, std::size_t size) {
  if (findDump(data, size, DumpKind::Single) >= 0 || findDump(data, size, DumpKind::Bank) >= 0) return {};
  for (const SysExSpan& s : scanSysEx(data, size)) {
    const DumpInfo info = classifyDump(data + s.offset, s.size);
    if (info.kind != DumpKind::None && !info.bodyComplete) return cutShortText(info.kind, s.size);
  }
  return {};
}

long findDump(const std::uint8_t* data, std::size_t size, DumpKind kind) {
  for (const SysExSpan& s : scanSysEx(data, size)) {
    const DumpInfo info = classifyDump(data + s.offset, s.size);
    if (info.kind == kind && info.bodyComplete) return static_cast<long>(s.offset);
  }
  return -1;
}

}  // namespace korvo
