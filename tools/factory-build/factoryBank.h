// The factory library from its text sources: every SOUND block of the files under data/sounds
// placed at its program number, checked so that the shipped bank is complete and clean, and
// written as the library image (factory.kvl) and the first backup file (the same image).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "progMan.h"
#include "progRecord.h"

namespace korvo::factory {

struct SourceText {
  std::string label;  // file name, for messages
  std::string text;
};

struct FactoryBank {
  std::array<ProgramRecord, kProgramCount> programs{};
  std::array<std::string, kProgramCount> origin;  // "bass.txt:12" where each sound was written
  std::array<bool, kProgramCount> placed{};       // a source gave this program
};

// The name a hardware dump keeps: upper case, blanks removed, the first six characters (a name
// of exactly six characters keeps its blanks, as the packer does).
std::string hardwareName(const ProgramRecord& r);

// Places every sound of the sources at its SOUND number. Fails (with one message per problem)
// when a text does not parse, a block has no number, a number is used twice or left empty, a
// value lies outside what the editor allows, a name is empty, or two sounds would carry the same
// six-character name on the hardware. The bank holds every sound that could be placed either
// way (a listening session may work on part of the bank).
bool assembleFactory(const std::vector<SourceText>& sources, FactoryBank& bank, std::vector<std::string>& errors);

// The 69652-byte library image of the bank (version 1, then programs 0..127).
std::vector<std::uint8_t> bankImage(const FactoryBank& bank);

// Reads the source files; false with a message when one cannot be read.
bool readSources(const std::vector<std::string>& paths, std::vector<SourceText>& out, std::string& error);

}  // namespace korvo::factory
