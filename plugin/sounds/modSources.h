// The modulation source list: selectors -1..144 as stored in every *.SEL word, their resolution
// to a per-voice or channel-wide value slot, and the names the parameter display shows.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace korvo {

// -1 off, 0..15 per-voice sources, 16..143 MIDI controllers 0..127, 144 channel pressure.
using ModSourceIndex = int;

inline constexpr ModSourceIndex kSourceOff = -1;
inline constexpr ModSourceIndex kSourceLfo1 = 0;
inline constexpr ModSourceIndex kSourceEnv1 = 4;
inline constexpr ModSourceIndex kSourceVel = 8;
inline constexpr ModSourceIndex kSourceVelX = 9;
inline constexpr ModSourceIndex kSourceKeyb = 10;
inline constexpr ModSourceIndex kSourceKeyb2 = 11;
inline constexpr ModSourceIndex kSourcePress = 12;
inline constexpr ModSourceIndex kSourceMat1 = 13;
inline constexpr ModSourceIndex kSourceFirstController = 16;
inline constexpr ModSourceIndex kSourceChannelPressure = 144;
inline constexpr ModSourceIndex kSourceMax = 144;
inline constexpr int kSourceNameCount = 147;  // selectors -1..144 plus one empty entry

enum class SourceKind { PerVoice, ChannelWide };

struct SourceRef {
  SourceKind kind = SourceKind::ChannelWide;
  int slot = -1;  // per voice 0..15; channel-wide -1..128 (-1 always reads 0)
};

// The selector table entry of `selector` with its slot already clamped into the source arrays,
// so a stray selector never points outside them. Selectors outside -1..144 resolve as off.
SourceRef resolveSource(ModSourceIndex selector);

// Display names indexed by selector + 1 (0..146), right-aligned with blanks to six characters;
// the last entry is empty. Built once, never changed.
const std::array<std::string, kSourceNameCount>& sourceNames();

// The name of a selector without its alignment blanks ("LFO1", "CTR 3"); "" outside -1..144.
std::string_view sourceNameTrimmed(ModSourceIndex selector);

}  // namespace korvo
