// Standard MIDI files (type 0 or 1) read into timed messages. The file is hostile input: whatever
// it holds, the reader returns messages within a bounded length of music or a clear error.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "timedMessage.h"

namespace korvo::tools {

// The longest performance a file may describe; beyond it a render would need more memory than
// any song is worth (a few bytes of delta time can ask for years).
inline constexpr double kMaxMidiSeconds = 2.0 * 3600.0;

struct MidiFileOptions {
  // SysEx messages (F0 ... F7) are kept, for a host that sends a file's dumps to its plug-in;
  // otherwise only channel messages are read. SysEx continuations (F7) are always left out.
  bool sysEx = false;
  // A file that holds no message to play is an error (a song renders nothing without one).
  bool needMessages = true;
};

// The messages of the file at `path` (meta events skipped), each with its frame at `rate`. False
// with `error` set when the file cannot be read, holds nothing to play or runs longer than
// kMaxMidiSeconds.
bool readMidiFile(const std::string& path, double rate, std::vector<TimedMessage>& out, std::string& error,
                  const MidiFileOptions& options = {});
// The same for a file image in memory; `name` is used in the messages.
bool readMidiBytes(const void* data, std::size_t size, double rate, const std::string& name,
                   std::vector<TimedMessage>& out, std::string& error, const MidiFileOptions& options = {});

}  // namespace korvo::tools
