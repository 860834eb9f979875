#include "midiEvents.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <stdexcept>

#ifdef KORVO_HAVE_SMF
#include "midiFile.h"
#endif

namespace korvo::host {

bool parseEventList(const std::string& text, double sampleRate, std::vector<TimedMessage>& out, std::string& error) {
  std::vector<TimedMessage> result;
  std::istringstream lines(text);
  std::string line;
  int lineNo = 0;
  while (std::getline(lines, line)) {
    ++lineNo;
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string position;
    if (!(words >> position)) continue;
    TimedMessage m;
    try {
      std::size_t used = 0;
      if (position.back() == 's') {
        double seconds = std::stod(position.substr(0, position.size() - 1), &used);
        if (used != position.size() - 1 || !(seconds >= 0)) throw std::invalid_argument("time");
        m.frame = tools::frameAt(seconds, sampleRate);
      } else {
        long long frame = std::stoll(position, &used);
        if (used != position.size() || frame < 0) throw std::invalid_argument("frame");
        m.frame = frame;
      }
    } catch (const std::exception&) {
      error = "line " + std::to_string(lineNo) + ": bad position '" + position + "'";
      return false;
    }
    std::string byte;
    while (words >> byte) {
      unsigned long v = 0;
      std::size_t used = 0;
      try {
        v = std::stoul(byte, &used, 16);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used != byte.size() || v > 0xFF) {
        error = "line " + std::to_string(lineNo) + ": bad byte '" + byte + "'";
        return false;
      }
      m.bytes.push_back(static_cast<std::uint8_t>(v));
    }
    if (m.bytes.empty() || m.bytes[0] < 0x80) {
      error = "line " + std::to_string(lineNo) + ": a message must start with a status byte";
      return false;
    }
    if (m.bytes[0] == 0xF0 && m.bytes.back() != 0xF7) {
      error = "line " + std::to_string(lineNo) + ": a SysEx message must end with F7";
      return false;
    }
    if (m.bytes[0] != 0xF0 && m.bytes.size() > 3) {
      error = "line " + std::to_string(lineNo) + ": a channel message has at most three bytes";
      return false;
    }
    result.push_back(std::move(m));
  }
  std::stable_sort(result.begin(), result.end(),
                   [](const TimedMessage& a, const TimedMessage& b) { return a.frame < b.frame; });
  out.swap(result);
  return true;
}

bool loadMidiFile(const std::string& path, double sampleRate, std::vector<TimedMessage>& out, std::string& error) {
#ifdef KORVO_HAVE_SMF
  tools::MidiFileOptions options;
  options.sysEx = true;
  options.needMessages = false;
  std::vector<TimedMessage> result;
  if (!tools::readMidiFile(path, sampleRate, result, error, options)) return false;
  out.swap(result);
  return true;
#else
  (void)sampleRate;
  (void)out;
  error = "this build reads no MIDI files ('" + path + "'); use an event list (--events)";
  return false;
#endif
}

}  // namespace korvo::host
