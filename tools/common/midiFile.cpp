#include "midiFile.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <vector>

#include "VSTaux.h"

// libsmf's header pulls glib in inside its extern "C" block; glib's C++ parts must come first.
#include <glib.h>
#include <smf.h>

namespace korvo::tools {

namespace {

// Files bigger than this are no songs.
constexpr std::size_t kMaxMidiFileSize = 64u * 1024u * 1024u;

// libsmf stops the whole program on an assertion for some malformed files instead of refusing
// them (and for any SysEx continuation event), so a file reaches it only after this walk has found
// every chunk and event well formed, every track shorter than the 32-bit pulse count libsmf
// keeps, and has made a copy without the SysEx continuations (and without any SysEx event unless
// they are asked for).
class SmfWalk {
 public:
  SmfWalk(const std::uint8_t* data, std::size_t size, bool keepSysEx)
      : p_(data), end_(data + size), keepSysEx_(keepSysEx) {}

  // The image libsmf gets, valid once check() has returned null.
  const std::vector<std::uint8_t>& clean() const { return out_; }

  const char* check() {
    std::uint32_t length = 0;
    if (!chunk("MThd", length) || length != 6 || end_ - p_ < 6) return "no standard MIDI file header";
    out_.assign(p_ - 8, p_ + 6);
    const unsigned format = word(), tracks = word(), division = word();
    if (format > 1) return "only MIDI files of type 0 and 1 are read";
    if (tracks == 0 || (format == 0 && tracks != 1)) return "the header's track count does not fit its type";
    if (division == 0 || (division & 0x8000u)) return "time code (SMPTE) timing is not supported";
    for (unsigned t = 0; t < tracks; ++t) {
      if (!chunk("MTrk", length) || length > static_cast<std::size_t>(end_ - p_))
        return "a track is missing or cut short";
      const std::uint8_t* trackEnd = p_ + length;
      out_.insert(out_.end(), p_ - 8, p_);
      const std::size_t start = out_.size();
      if (const char* why = track(trackEnd)) return why;
      const std::size_t written = out_.size() - start;
      for (int i = 0; i < 4; ++i)
        out_[start - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(written >> (24 - 8 * i));
      p_ = trackEnd;
    }
    return nullptr;
  }

 private:
  bool chunk(const char* id, std::uint32_t& length) {
    if (end_ - p_ < 8 || std::memcmp(p_, id, 4) != 0) return false;
    length = static_cast<std::uint32_t>(p_[4]) << 24 | static_cast<std::uint32_t>(p_[5]) << 16 |
             static_cast<std::uint32_t>(p_[6]) << 8 | p_[7];
    p_ += 8;
    return true;
  }
  unsigned word() {
    const unsigned w = static_cast<unsigned>(p_[0]) << 8 | p_[1];
    p_ += 2;
    return w;
  }
  // A variable-length quantity of at most four bytes, inside the track.
  bool quantity(const std::uint8_t* limit, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (p_ >= limit) return false;
      const std::uint8_t b = *p_++;
      value = value << 7 | (b & 0x7Fu);
      if (!(b & 0x80u)) return true;
    }
    return false;
  }
  void put(std::uint32_t delta, const std::uint8_t* from, const std::uint8_t* to) {
    std::uint8_t bytes[5];
    int n = 0;
    do {
      bytes[n++] = static_cast<std::uint8_t>(delta & 0x7Fu);
      delta >>= 7;
    } while (delta != 0);
    while (n > 1) out_.push_back(static_cast<std::uint8_t>(bytes[--n] | 0x80u));
    out_.push_back(bytes[0]);
    out_.insert(out_.end(), from, to);
  }
  const char* track(const std::uint8_t* limit) {
    std::uint8_t running = 0;
    std::int64_t pulses = 0;
    std::uint32_t skipped = 0;  // delta time of the SysEx events left out, handed to the next event
    bool ended = false;
    while (p_ < limit) {
      if (ended) return "events after the end of a track";
      std::uint32_t delta = 0;
      if (!quantity(limit, delta)) return "a broken delta time";
      pulses += delta;
      if (pulses > INT32_MAX) return "a track longer than the reader can count";
      if (p_ >= limit) return "a track ends inside an event";
      if (std::uint64_t{skipped} + delta > 0x0FFFFFFFu) return "a delta time too long to write";
      delta += skipped;
      skipped = 0;
      const std::uint8_t* event = p_;
      std::uint8_t status = *p_;
      if (status >= 0x80) {
        ++p_;
      } else if (running != 0) {
        status = running;
      } else {
        return "a data byte where an event should start";
      }
      if (status < 0xF0) {
        running = status;
        const int bytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        for (int i = 0; i < bytes; ++i)
          if (p_ >= limit || *p_++ >= 0x80) return "a channel message is cut short";
        put(delta, event, p_);
        continue;
      }
      running = 0;
      std::uint32_t length = 0;
      if (status == 0xFF) {
        if (p_ >= limit) return "a meta event is cut short";
        const std::uint8_t type = *p_++;
        if (type >= 0x80 || !quantity(limit, length) || length > static_cast<std::size_t>(limit - p_))
          return "a meta event is cut short";
        if (!metaLengthFits(type, length)) return "a meta event of the wrong length";
        ended = type == 0x2F;
        p_ += length;
        put(delta, event, p_);
      } else if (status == 0xF0 || status == 0xF7) {
        if (!quantity(limit, length) || length > static_cast<std::size_t>(limit - p_))
          return "a SysEx event is cut short";
        p_ += length;
        if (keepSysEx_ && status == 0xF0)
          put(delta, event, p_);
        else
          skipped = delta;
      } else {
        return "a system message that has no place in a file";
      }
    }
    return ended ? nullptr : "a track without its end";
  }
  static bool metaLengthFits(std::uint8_t type, std::uint32_t length) {
    switch (type) {
      case 0x00: return length == 0 || length == 2;
      case 0x20:
      case 0x21: return length == 1;
      case 0x2F: return length == 0;
      case 0x51: return length == 3;
      case 0x54: return length == 5;
      case 0x58: return length == 4;
      case 0x59: return length == 2;
      default: return true;
    }
  }

  const std::uint8_t* p_;
  const std::uint8_t* end_;
  const bool keepSysEx_;
  std::vector<std::uint8_t> out_;
};

bool collect(smf_t* smf, double rate, const std::string& name, std::vector<TimedMessage>& out, std::string& error,
             const MidiFileOptions& options) {
  std::vector<TimedMessage> messages;
  while (smf_event_t* e = smf_get_next_event(smf)) {
    if (smf_event_is_metadata(e) || e->midi_buffer_length < 1) continue;
    const bool sysEx = e->midi_buffer[0] == 0xF0;
    if (sysEx ? !options.sysEx : e->midi_buffer_length > 3) continue;
    if (!(e->time_seconds >= 0.0 && e->time_seconds <= kMaxMidiSeconds)) {
      error = "'" + name + "' runs longer than " + std::to_string(static_cast<int>(kMaxMidiSeconds / 3600)) + " hours";
      return false;
    }
    if (e->midi_buffer[0] < 0x80) continue;
    TimedMessage m;
    m.frame = frameAt(e->time_seconds, rate);
    m.bytes.assign(e->midi_buffer, e->midi_buffer + e->midi_buffer_length);
    // A dump sent in packets keeps only its first; it still reaches the plug-in as a whole message.
    if (sysEx && m.bytes.back() != 0xF7) m.bytes.push_back(0xF7);
    messages.push_back(std::move(m));
  }
  if (messages.empty() && options.needMessages) {
    error = "'" + name + "' holds no MIDI notes or controllers";
    return false;
  }
  out.insert(out.end(), std::make_move_iterator(messages.begin()), std::make_move_iterator(messages.end()));
  return true;
}

}  // namespace

bool readMidiBytes(const void* data, std::size_t size, double rate, const std::string& name,
                   std::vector<TimedMessage>& out, std::string& error, const MidiFileOptions& options) {
  if (!data || size == 0) {
    error = "'" + name + "' is empty";
    return false;
  }
  SmfWalk walk(static_cast<const std::uint8_t*>(data), size, options.sysEx);
  if (const char* why = walk.check()) {
    error = "'" + name + "' is not a readable standard MIDI file: " + why;
    return false;
  }
  smf_t* smf = smf_load_from_memory(walk.clean().data(), walk.clean().size());
  if (!smf) {
    error = "'" + name + "' is not a readable standard MIDI file";
    return false;
  }
  const bool ok = collect(smf, rate, name, out, error, options);
  smf_delete(smf);
  return ok;
}

bool readMidiFile(const std::string& path, double rate, std::vector<TimedMessage>& out, std::string& error,
                  const MidiFileOptions& options) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    error = "'" + path + "' does not exist or is not a file";
    return false;
  }
  std::vector<std::uint8_t> bytes;
  if (readWholeFile(path, bytes, kMaxMidiFileSize) == 0) {
    error = "'" + path + "' is empty, unreadable or larger than 64 MiB";
    return false;
  }
  return readMidiBytes(bytes.data(), bytes.size(), rate, path, out, error, options);
}

}  // namespace korvo::tools
