// The dump message frame (F0 0F 02 channel command ... F7) and a scanner that finds the
// messages in a file that holds several of them, or junk around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "progPack.h"

namespace korvo {

inline constexpr std::uint8_t kSysExStart = 0xF0;
inline constexpr std::uint8_t kSysExEnd = 0xF7;
inline constexpr std::uint8_t kMakerId = 0x0F;
inline constexpr std::uint8_t kFamilyId = 0x02;
inline constexpr int kCommandSingle = 1;
inline constexpr int kCommandBank = 2;
inline constexpr int kSysExHeaderSize = 5;
inline constexpr int kBankPrograms = 40;
inline constexpr int kSingleMessageSize = kSysExHeaderSize + kPackedSize + 1;                // 210
inline constexpr int kBankMessageSize = kSysExHeaderSize + kBankPrograms * kPackedSize + 1;  // 8166

// Fixed messages around a live exchange with the instrument.
inline constexpr std::uint8_t kPreMessage[7] = {0xF0, 0x0F, 0x02, 0x00, 0x0E, 0x26, 0xF7};
inline constexpr std::uint8_t kPostSendMessage[8] = {0xF0, 0x0F, 0x02, 0x00, 0x0E, 0x2F, 0x62, 0xF7};
inline constexpr std::uint8_t kDumpRequest[6] = {0xF0, 0x0F, 0x02, 0x00, 0x09, 0xF7};

// True when bytes 0..2 are F0 0F 02; then `command` receives byte 4 (or -1 when the message is
// shorter than 5 bytes). Byte 3, the channel, is not examined.
bool checkSysExHeader(const std::uint8_t* message, std::size_t size, int& command);

// Writes F0 0F 02 channel kind into 5 bytes; kind must be 1 or 2.
bool buildSysExHeader(std::uint8_t* buffer, int kind, std::uint8_t channel);

// One message found in a file. `complete` is false for a last message that the file cuts off
// before its F7 (its bytes run to the end of the file).
struct SysExSpan {
  std::size_t offset = 0;
  std::size_t size = 0;  // F0 through F7 inclusive, or to the end of the data when incomplete
  bool complete = true;
  int command = -1;   // byte 4 when the header is ours, else -1
  bool ours = false;  // header F0 0F 02
};

// Every F0 ... F7 message in the data, in order. Bytes outside messages (a trailing byte,
// running status of other messages) are skipped; a new F0 before the F7 ends the open message
// as incomplete.
std::vector<SysExSpan> scanSysEx(const std::uint8_t* data, std::size_t size);

// Kind of a dump message: whether it carries one program or forty and whether its body is
// complete and made of nybbles.
enum class DumpKind { None, Single, Bank };
struct DumpInfo {
  DumpKind kind = DumpKind::None;
  bool bodyComplete = false;  // enough bytes for every program
  bool nybblesValid = false;  // every body byte 0..15
};
DumpInfo classifyDump(const std::uint8_t* message, std::size_t size);

// Where the first dump of `kind` with a complete body starts in a file that may hold other
// messages before it (as files saved by librarians often do); -1 when there is none. The size
// handed on to the import is then the rest of the data.
long findDump(const std::uint8_t* data, std::size_t size, DumpKind kind);

// "bank dump is cut short: 100 bytes, 8165 needed" for a dump message of `size` bytes.
std::string cutShortText(DumpKind kind, std::size_t size);
// For data that holds no complete dump but a Pemmet/Halvet dump that the end cuts short, what is
// missing in plain words ("bank dump is cut short: 100 bytes, 8165 needed"); else empty.
std::string cutShortDump(const std::uint8_t* data, std::size_t size);

}  // namespace korvo
