// The hardware form of a sound: 102 program bytes carried as 204 nybble bytes inside a dump,
// and the conversion between it and the sound record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "modSources.h"
#include "progRecord.h"

namespace korvo {

inline constexpr int kPackedProgramBytes = 102;
inline constexpr int kPackedSize = 204;  // nybble bytes of one program in a message

// 4-bit hardware source code <-> selector. Codes above 14 read as off; selectors the hardware
// cannot name write code 15.
ModSourceIndex sourceFromCode(unsigned code);
unsigned codeFromSource(ModSourceIndex index);

// Writes the 204-byte body of `r`; every bit without a field is 0, except the bits an imported
// program brought with it (kept in the record's reserved words from word::kHardwareBits on).
void packProgram(const ProgramRecord& r, std::uint8_t* body);

// Converts the 204-byte body into the hardware fields of `r`. The caller has already made `r` a
// fresh record (the program editor does so through its InitRecord), so every word without a
// hardware field keeps its default; the bits without a field are kept in the reserved words from
// word::kHardwareBits on, so that packing gives the same body back. A nybble byte above 15 is taken as it stands (low
// and high nybble ORed, the field masked), so the result is always a defined record.
void unpackProgramFields(ProgramRecord& r, const std::uint8_t* body);

// True when every byte of the body is a nybble (0..15), as a real dump always is.
bool bodyNybblesValid(const std::uint8_t* body, std::size_t size = kPackedSize);

}  // namespace korvo
