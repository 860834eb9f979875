#include "midiFile.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <vector>

#include "VSTaux.h"

namespace korvo::tools {

namespace {

// Files bigger than this are no songs.
constexpr std::size_t kMaxMidiFileSize = 64u * 1024u * 1024u;

// One event of a track: where it stands in pulses, and its bytes (the status byte apart, as
// running status leaves it out of the file).
struct TrackEvent {
  std::int64_t pulses;
  std::uint32_t track;
  std::uint8_t status;       // 0x80..0xEF channel message, 0xF0 SysEx, 0xFF meta
  std::uint8_t metaType;     // meta events only
  const std::uint8_t* body;  // channel: the data bytes; SysEx: after its length; meta: its data
  std::uint32_t size;
};

// Reads the chunks and events of a file in one pass, checking each (the file is hostile input),
// and lists the events of every track. Nothing is removed or moved afterwards, so the time taken
// grows with the file's size alone.
class TrackWalk {
 public:
  TrackWalk(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

  const std::vector<TrackEvent>& events() const { return events_; }
  unsigned division() const { return division_; }

  const char* check() {
    std::uint32_t length = 0;
    if (!chunk("MThd", length) || length != 6 || end_ - p_ < 6) return "no standard MIDI file header";
    const unsigned format = word(), tracks = word();
    division_ = word();
    if (format > 1) return "only MIDI files of type 0 and 1 are read";
    if (tracks == 0 || (format == 0 && tracks != 1)) return "the header's track count does not fit its type";
    if (division_ == 0 || (division_ & 0x8000u)) return "time code (SMPTE) timing is not supported";
    for (unsigned t = 0; t < tracks; ++t) {
      if (!chunk("MTrk", length) || length > static_cast<std::size_t>(end_ - p_))
        return "a track is missing or cut short";
      const std::uint8_t* trackEnd = p_ + length;
      if (const char* why = track(trackEnd, t)) return why;
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
  void add(std::int64_t pulses, std::uint32_t track, std::uint8_t status, std::uint8_t metaType,
           const std::uint8_t* body) {
    events_.push_back({pulses, track, status, metaType, body, static_cast<std::uint32_t>(p_ - body)});
  }
  const char* track(const std::uint8_t* limit, std::uint32_t number) {
    std::uint8_t running = 0;
    std::int64_t pulses = 0;
    bool ended = false;
    while (p_ < limit) {
      if (ended) return "events after the end of a track";
      std::uint32_t delta = 0;
      if (!quantity(limit, delta)) return "a broken delta time";
      pulses += delta;
      if (pulses > INT32_MAX) return "a track longer than the reader can count";
      if (p_ >= limit) return "a track ends inside an event";
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
        const std::uint8_t* body = p_;
        const int bytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        for (int i = 0; i < bytes; ++i)
          if (p_ >= limit || *p_++ >= 0x80) return "a channel message is cut short";
        add(pulses, number, status, 0, body);
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
        const std::uint8_t* body = p_;
        p_ += length;
        add(pulses, number, status, type, body);
      } else if (status == 0xF0 || status == 0xF7) {
        if (!quantity(limit, length) || length > static_cast<std::size_t>(limit - p_))
          return "a SysEx event is cut short";
        const std::uint8_t* body = p_;
        p_ += length;
        // A continuation (F7) carries no message of its own.
        if (status == 0xF0) add(pulses, number, status, 0, body);
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
  unsigned division_ = 0;
  std::vector<TrackEvent> events_;
};

// Seconds from pulses through the tempo changes met so far, in the order the events play. A
// change takes effect after the pulse it stands at (events at that pulse keep the old tempo), and
// a time signature starts a segment of its own, as the library that read these files before did,
// so that every event keeps the time it had then.
class TempoMap {
 public:
  explicit TempoMap(unsigned division) : division_(division) {}

  void meet(const TrackEvent& e) {
    if (e.status != 0xFF || (e.metaType != 0x51 && e.metaType != 0x58)) return;
    std::int64_t tempo = segments_.back().microsPerQuarter;
    if (e.metaType == 0x51) {
      tempo = std::int64_t{e.body[0]} << 16 | std::int64_t{e.body[1]} << 8 | e.body[2];
      if (tempo <= 0) return;
    }
    if (segments_.back().pulses != e.pulses) {
      const double seconds = e.pulses == 0 ? 0.0 : secondsAt(e.pulses);
      segments_.push_back({e.pulses, seconds, segments_.back().microsPerQuarter});
    }
    segments_.back().microsPerQuarter = tempo;
  }

  double secondsAt(std::int64_t pulses) const {
    // The last segment that starts before `pulses` (the first one at pulse 0).
    const Segment* s = &segments_.front();
    if (pulses != 0) s = segments_.back().pulses < pulses ? &segments_.back() : &segments_[segments_.size() - 2];
    return s->seconds + static_cast<double>(pulses - s->pulses) *
                            (static_cast<double>(s->microsPerQuarter) / (static_cast<double>(division_) * 1000000.0));
  }

 private:
  struct Segment {
    std::int64_t pulses;
    double seconds;
    std::int64_t microsPerQuarter;
  };
  unsigned division_;
  std::vector<Segment> segments_{{0, 0.0, 500000}};  // 120 BPM until told otherwise
};

bool collect(const TrackWalk& walk, double rate, const std::string& name, std::vector<TimedMessage>& out,
             std::string& error, const MidiFileOptions& options) {
  // The tracks play together: by time, and at the same time the lower track first, each track
  // in its own order.
  std::vector<std::uint32_t> order(walk.events().size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  const auto& events = walk.events();
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return events[a].pulses != events[b].pulses ? events[a].pulses < events[b].pulses
                                                : events[a].track < events[b].track;
  });
  TempoMap tempo(walk.division());
  std::vector<TimedMessage> messages;
  for (const std::uint32_t index : order) {
    const TrackEvent& e = events[index];
    tempo.meet(e);
    if (e.status == 0xFF) continue;
    const bool sysEx = e.status == 0xF0;
    if (sysEx && !options.sysEx) continue;
    const double seconds = tempo.secondsAt(e.pulses);
    if (!(seconds >= 0.0 && seconds <= kMaxMidiSeconds)) {
      error = "'" + name + "' runs longer than " + std::to_string(static_cast<int>(kMaxMidiSeconds / 3600)) + " hours";
      return false;
    }
    TimedMessage m;
    m.frame = frameAt(seconds, rate);
    m.bytes.reserve(1 + e.size + 1);
    m.bytes.push_back(e.status);
    m.bytes.insert(m.bytes.end(), e.body, e.body + e.size);
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
  TrackWalk walk(static_cast<const std::uint8_t*>(data), size);
  if (const char* why = walk.check()) {
    error = "'" + name + "' is not a readable standard MIDI file: " + why;
    return false;
  }
  return collect(walk, rate, name, out, error, options);
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
