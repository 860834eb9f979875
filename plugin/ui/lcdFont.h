// The segment LCD's font: a 14-segment italic character set with two attribute segments
// (underline and dot), installed on TsegLCD2 with SetCharTable(lcdCharTable, lcdCharCount,
// lcdCharWidth) and then SetSegmentMap(lcdSegmentMap, lcdSegmentCount, lcdFirstAttrSegment,
// lcdCellHeight, lcdCellWidth).
#pragma once

#include <cstdint>

namespace korvo {

inline constexpr int lcdCellWidth = 10;
inline constexpr int lcdCellHeight = 15;
inline constexpr int lcdSegmentCount = 17;      // segment numbers 1..16, 0 = no segment
inline constexpr int lcdFirstAttrSegment = 15;  // 15 underline (attribute bit 0), 16 dot (bit 1)
inline constexpr int lcdCharCount = 68;
inline constexpr int lcdCharWidth = 16;  // code, then up to 15 segment numbers ended by 0

// Cell-sized map, row by row: the segment each pixel belongs to.
extern const std::uint8_t lcdSegmentMap[lcdCellHeight * lcdCellWidth];
// lcdCharCount entries of lcdCharWidth bytes.
extern const std::uint8_t lcdCharTable[lcdCharCount * lcdCharWidth];

}  // namespace korvo
