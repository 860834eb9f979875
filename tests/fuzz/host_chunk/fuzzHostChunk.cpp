// The host hands the plug-in a chunk of any size and any bytes (a project file from anywhere):
// a refused chunk changes nothing, an accepted one is a sound that must play without a fault
// (the sanitizers stop on any overflow or bad read) and give finite audio.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "builtInData.h"
#include "progRecord.h"
#include "uPlug.h"

using namespace korvo;
using namespace korvo::vst;

namespace {

VstIntPtr KORVO_VSTCALL host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

CSynth& plugin() {
  static CSynth* synth = [] {
    InstanceEnvironment env = withBuiltInData();
    env.useSystemDefaults = false;
    env.dataFolderOverride = "/nonexistent/korvo-fuzz";  // the built-in ROM and bank play
    env.saveOnDestroy = false;
    return new CSynth(host, {}, env);
  }();
  return *synth;
}

std::vector<std::uint8_t> chunkOf(CSynth& s) {
  void* data = nullptr;
  const VstInt32 size = s.getChunk(&data, false);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  return size > 0 && bytes ? std::vector<std::uint8_t>(bytes, bytes + size) : std::vector<std::uint8_t>{};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CSynth& s = plugin();
  CplugMaster& e = *s.engine();
  e.reset();
  // Inputs starting with 'S' are laid over a valid record, so the fuzzer reaches sounds that are
  // accepted without having to find the format word itself; the rest go in as they are.
  std::vector<std::uint8_t> chunk(data, data + size);
  if (size > 0 && data[0] == 'S') {
    const ProgramRecord init = makeInitRecord();
    chunk.assign(reinterpret_cast<const std::uint8_t*>(&init),
                 reinterpret_cast<const std::uint8_t*>(&init) + sizeof init);
    for (size_t i = 1; i < size; ++i) chunk[(i * 2 + data[i] % 2) % (sizeof init - 32)] = data[i];
  }
  const std::vector<std::uint8_t> before = chunkOf(s);
  if (before.size() != sizeof(ProgramRecord)) std::abort();
  const bool accepted = e.setChunk(chunk.empty() ? nullptr : chunk.data(), chunk.size());
  s.setChunk(chunk.empty() ? nullptr : chunk.data(), static_cast<VstInt32>(chunk.size()), size % 2 == 1);
  const std::vector<std::uint8_t> after = chunkOf(s);
  if (after.size() != sizeof(ProgramRecord)) std::abort();
  if (!accepted && after != before) std::abort();

  auto byte = [&](size_t i) { return i < size ? data[i] : std::uint8_t{0}; };
  float left[512], right[512];
  e.keyboardNote(0, byte(1) % 128, 1 + byte(2) % 127);
  for (int block = 0; block < 8; ++block) {
    if (block == 3) e.controller(0, 129, (byte(3) << 6) - 8192);
    if (block == 4) e.keyboardNote(0, byte(4) % 128, 1 + byte(5) % 127);
    if (block == 5) e.controller(0, byte(6) % 128, byte(7) % 128);
    e.render(block % 2 == 0, left, 512, right);
    for (int i = 0; i < 512; ++i)
      if (!std::isfinite(left[i]) || !std::isfinite(right[i])) std::abort();
  }
  e.controller(0, 123, 0);
  return 0;
}
