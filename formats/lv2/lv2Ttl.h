// The bundle's Turtle files, written at build time from the instance's parameter list and the
// factory library, so no hand-kept copy can drift from the binary.
#pragma once

#include <string>
#include <vector>

#include "progRecord.h"

namespace korvo::lv2 {

// manifest.ttl: the plug-in, its UI and the presets, with the binary's file name.
std::string manifestTtl(const std::string& binary, const std::vector<ProgramRecord>& presets);
// korvo.ttl: the plug-in's ports (one control per parameter), features, state and UI.
std::string pluginTtl();
// presets.ttl: each program as a preset, its parameters as port values and its record as state.
std::string presetsTtl(const std::vector<ProgramRecord>& presets);

// The preset's URI ("urn:korvo:synth:preset:001" for program 0).
std::string presetUri(std::size_t program);
// A Turtle string literal, quotes included.
std::string ttlString(const std::string& text);
std::string base64(const void* data, std::size_t size);

}  // namespace korvo::lv2
