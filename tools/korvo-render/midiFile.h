// Standard MIDI files (type 0 or 1) read into timed channel messages for the renderer. The file is
// hostile input: whatever it holds, the reader returns messages within a bounded length of
// music or a clear error.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "renderSession.h"

namespace korvo::render {

// The longest performance a file may describe; beyond it the render would need more memory than
// any song is worth (a few bytes of delta time can ask for years).
inline constexpr double kMaxMidiSeconds = 2.0 * 3600.0;

// The channel messages of the file at `path` (meta events and SysEx skipped), each with its frame
// at `rate`. False with `error` set when the file cannot be read, holds no channel message or
// runs longer than kMaxMidiSeconds.
bool readMidiFile(const std::string& path, int rate, std::vector<TimedMessage>& out, std::string& error);
// The same for a file image in memory; `name` is used in the messages.
bool readMidiBytes(const void* data, std::size_t size, int rate, const std::string& name,
                   std::vector<TimedMessage>& out, std::string& error);

}  // namespace korvo::render
