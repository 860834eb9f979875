// vsthost: a minimal VST 2 host. Loads a plug-in binary, runs the host sequence (open, sample
// rate, block size, resume, events + processReplacing per block, suspend, close), feeds MIDI from
// an event list or a MIDI file, writes WAV, saves and restores the chunk, reports identity
// answers and timing. Output of --info and --probe is "key=value" lines for the tests.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>
#if defined(__linux__)
#include <time.h>
#endif

#include "DAEffectX.h"
#include "VSTaux.h"
#include "commandLine.h"
#include "editorSession.h"
#include "hostCallback.h"
#include "midiEvents.h"
#include "pluginLoader.h"
#include "vstEventBlock.h"
#include "wavFile.h"

using namespace korvo;
using namespace korvo::vst;
using namespace korvo::host;

namespace {

// The processor time this thread has used, in seconds: what the render costs even when other
// programs share the processor. Where there is no per-thread clock it is the wall clock.
double threadSeconds() {
#if defined(__linux__)
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
#else
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
#endif
}

const char* kUsage =
    "usage: vsthost [options] PLUGIN\n"
    "  --info              print the plug-in's record and identity answers\n"
    "  --probe             run the robustness sequence (bad calls must fail cleanly)\n"
    "  --rate HZ           sample rate (44100)\n"
    "  --block N           block size (512)\n"
    "  --events FILE       MIDI messages from a text event list\n"
    "  --midi FILE         MIDI messages from a standard MIDI file\n"
    "  --note KEY[:VEL[:SECONDS]]  play one note (velocity 100, 1 s)\n"
    "  --seconds S         length to render (default: last event + 2 s, or 1 s)\n"
    "  --out FILE          write the output as a stereo WAV file\n"
    "  --bits 16|32        WAV sample format (32 = float, the default)\n"
    "  --accumulate        use process (accumulating) instead of processReplacing\n"
    "  --chunk-in FILE     hand this chunk to the plug-in before rendering\n"
    "  --chunk-out FILE    save the plug-in's chunk after rendering\n"
    "  --preset-chunk      use the preset (not bank) form of the chunk calls\n"
    "  --timing            report the real-time factor of the render (wall and thread time)\n"
    "  --editor            open the editor in a window and play what it sends until the window\n"
    "                      is closed (or --seconds pass); --out records the session\n"
    "  --idle-ms N         effEditIdle period with --editor (40)\n"
    "  --no-sound          with --editor: render without playing through the sound card\n"
    "  --editor-cycles N   with --editor (Windows): first open and close the editor N times, then\n"
    "                      in parents destroyed before the close, and report editor.cycles\n";

struct Options {
  std::string plugin;
  bool info = false;
  bool probe = false;
  float rate = 44100.0f;
  int block = 512;
  std::string events, midi, note, out, chunkIn, chunkOut;
  double seconds = -1.0;
  int bits = 32;
  bool accumulate = false;
  bool presetChunk = false;
  bool timing = false;
  bool editor = false;
  int idleMs = 40;
  bool sound = true;
  int editorCycles = 0;
};

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "vsthost: %s\n", message.c_str());
  return code;
}

std::string fourCCText(VstInt32 v) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    char c = static_cast<char>((static_cast<std::uint32_t>(v) >> shift) & 0xFF);
    s += (c >= 32 && c < 127) ? c : '?';
  }
  return s;
}

std::string hex(std::uint64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

VstIntPtr call(AEffect* e, VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
               float opt = 0.0f) {
  return e->dispatcher(e, opcode, index, value, ptr, opt);
}

void kv(const std::string& key, const std::string& value) { std::printf("%s=%s\n", key.c_str(), value.c_str()); }
void kv(const std::string& key, long long value) { std::printf("%s=%lld\n", key.c_str(), value); }

std::string textAnswer(AEffect* e, VstInt32 opcode) {
  char buf[256] = {};
  call(e, opcode, 0, 0, buf);
  buf[sizeof buf - 1] = 0;
  return buf;
}

void printInfo(AEffect* e) {
  kv("host.bits", static_cast<long long>(sizeof(void*) * 8));
  kv("record.magic", fourCCText(e->magic));
  kv("record.numPrograms", e->numPrograms);
  kv("record.numParams", e->numParams);
  kv("record.numInputs", e->numInputs);
  kv("record.numOutputs", e->numOutputs);
  kv("record.flags", hex(static_cast<std::uint32_t>(e->flags)));
  kv("record.resvd1", static_cast<long long>(e->resvd1));
  kv("record.resvd2", static_cast<long long>(e->resvd2));
  kv("record.initialDelay", e->initialDelay);
  kv("record.realQualities", e->realQualities);
  kv("record.offQualities", e->offQualities);
  std::uint32_t ioBits;
  std::memcpy(&ioBits, &e->ioRatio, 4);
  kv("record.ioRatioBits", hex(ioBits));
  kv("record.objectSet", e->object != nullptr ? 1 : 0);
  kv("record.user", e->user != nullptr ? 1 : 0);
  kv("record.uniqueID", fourCCText(e->uniqueID));
  kv("record.version", e->version);
  kv("record.hasProcess", e->process != nullptr ? 1 : 0);
  kv("record.hasProcessReplacing", e->processReplacing != nullptr ? 1 : 0);
  bool futureZero = std::all_of(std::begin(e->future), std::end(e->future), [](char c) { return c == 0; });
  kv("record.futureZero", futureZero ? 1 : 0);

  kv("effectName", textAnswer(e, effGetEffectName));
  kv("vendor", textAnswer(e, effGetVendorString));
  kv("product", textAnswer(e, effGetProductString));
  kv("vendorVersion", static_cast<long long>(call(e, effGetVendorVersion)));
  kv("vstVersion", static_cast<long long>(call(e, effGetVstVersion)));
  kv("category", static_cast<long long>(call(e, effGetPlugCategory)));
  kv("identify", fourCCText(static_cast<VstInt32>(call(e, effIdentify))));
  kv("keysRequired", static_cast<long long>(call(e, effKeysRequired)));
  kv("getVu", static_cast<long long>(call(e, effGetVu)));
  kv("numProgramCategories", static_cast<long long>(call(e, effGetNumProgramCategories)));
  kv("tailSize", static_cast<long long>(call(e, effGetTailSize)));
  kv("currentMidiProgram", static_cast<long long>(call(e, effGetCurrentMidiProgram)));

  static const char* const canDos[] = {"sendVstEvents",
                                       "sendVstMidiEvent",
                                       "receiveVstEvents",
                                       "receiveVstMidiEvent",
                                       "receiveVstTimeInfo",
                                       "sendVstTimeInfo",
                                       "offline",
                                       "midiProgramNames",
                                       "bypass",
                                       "plugAsChannelInsert",
                                       "plugAsSend",
                                       "mixDryWet",
                                       "noRealTime",
                                       "multipass",
                                       "metapass",
                                       "1in1out",
                                       "1in2out",
                                       "2in1out",
                                       "2in2out",
                                       "2in4out",
                                       "4in2out",
                                       "4in4out",
                                       "4in8out",
                                       "8in4out",
                                       "8in8out",
                                       "conformsToWindowRules",
                                       "",
                                       "nonsense"};
  for (const char* what : canDos) {
    std::string text = what;
    kv(std::string("canDo.") + (text.empty() ? "<empty>" : text),
       static_cast<long long>(call(e, effCanDo, 0, 0, text.data())));
  }
  for (int i = 0; i < 3; ++i) {
    VstPinProperties pin{};
    VstIntPtr ok = call(e, effGetOutputProperties, i, 0, &pin);
    std::string prefix = "output" + std::to_string(i);
    kv(prefix + ".ok", static_cast<long long>(ok));
    if (ok) {
      pin.label[sizeof pin.label - 1] = 0;
      kv(prefix + ".label", pin.label);
      kv(prefix + ".flags", pin.flags);
    }
  }
  VstPinProperties inPin{};
  kv("input0.ok", static_cast<long long>(call(e, effGetInputProperties, 0, 0, &inPin)));

  void* data = nullptr;
  kv("chunk.bank", static_cast<long long>(call(e, effGetChunk, 0, 0, &data)));
  data = nullptr;
  kv("chunk.preset", static_cast<long long>(call(e, effGetChunk, 1, 0, &data)));

  ERect* rect = nullptr;
  VstIntPtr gotRect = call(e, effEditGetRect, 0, 0, &rect);
  kv("editor.getRect", static_cast<long long>(gotRect));
  if (gotRect && rect) {
    kv("editor.rect", std::to_string(rect->top) + "," + std::to_string(rect->left) + "," +
                          std::to_string(rect->bottom) + "," + std::to_string(rect->right));
  }
}

double peakOf(const std::vector<float>& v) {
  double p = 0;
  for (float s : v) p = std::max(p, static_cast<double>(std::fabs(s)));
  return p;
}

bool allEqual(const std::vector<float>& v, float x) {
  return std::all_of(v.begin(), v.end(), [x](float s) { return s == x; });
}

void runProbe(AEffect* e, int block) {
  std::vector<float> left(static_cast<std::size_t>(block)), right(static_cast<std::size_t>(block));
  float* outs[2] = {left.data(), right.data()};

  kv("probe.editOpen1", static_cast<long long>(call(e, effEditOpen, 0, 0, nullptr)));
  kv("probe.editOpen2", static_cast<long long>(call(e, effEditOpen, 0, 0, nullptr)));
  kv("probe.editClose1", static_cast<long long>(call(e, effEditClose)));
  kv("probe.editClose2", static_cast<long long>(call(e, effEditClose)));
  kv("probe.editCloseUnmatched", static_cast<long long>(call(e, effEditClose)));
  kv("probe.editGetRectNullPtr", static_cast<long long>(call(e, effEditGetRect, 0, 0, nullptr)));
  kv("probe.editIdle", static_cast<long long>(call(e, effEditIdle)));
  kv("probe.editKeyDown", static_cast<long long>(call(e, effEditKeyDown, 'a', 0, nullptr, 0.0f)));
  kv("probe.setKnobMode", static_cast<long long>(call(e, effSetEditKnobMode, 0, 2)));
  for (VstInt32 op : {77, 78, 128, 1000, -1, -1000})
    kv("probe.unknownOpcode." + std::to_string(op), static_cast<long long>(call(e, op, 1, 1, nullptr, 1.0f)));
  call(e, effSetProgram, 0, 5);
  kv("probe.programAfterSet5", static_cast<long long>(call(e, effGetProgram)));
  kv("probe.processEventsNull", static_cast<long long>(call(e, effProcessEvents, 0, 0, nullptr)));

  // Null outputs: nothing may be written and nothing may crash.
  e->processReplacing(e, nullptr, nullptr, block);
  float* rightNull[2] = {left.data(), nullptr};
  std::fill(left.begin(), left.end(), 7.0f);
  e->processReplacing(e, nullptr, rightNull, block);
  e->process(e, nullptr, rightNull, block);
  kv("probe.rightNullLeftUntouched", allEqual(left, 7.0f) ? 1 : 0);
  float* leftNull[2] = {nullptr, right.data()};
  std::fill(right.begin(), right.end(), 7.0f);
  e->processReplacing(e, nullptr, leftNull, block);
  kv("probe.leftNullRightUntouched", allEqual(right, 7.0f) ? 1 : 0);
  e->processReplacing(e, nullptr, outs, 0);
  kv("probe.zeroFramesSurvived", 1);

  // A chunk of the wrong size, and a null chunk, are refused and change nothing.
  void* before = nullptr;
  VstIntPtr sizeBefore = call(e, effGetChunk, 0, 0, &before);
  std::vector<std::uint8_t> saved;
  if (before && sizeBefore > 0)
    saved.assign(static_cast<std::uint8_t*>(before), static_cast<std::uint8_t*>(before) + sizeBefore);
  std::vector<std::uint8_t> junk(543, 0x5A);
  kv("probe.setChunk543", static_cast<long long>(call(e, effSetChunk, 0, 543, junk.data())));
  junk.assign(545, 0x5A);
  kv("probe.setChunk545", static_cast<long long>(call(e, effSetChunk, 1, 545, junk.data())));
  kv("probe.setChunkNull544", static_cast<long long>(call(e, effSetChunk, 0, 544, nullptr)));
  kv("probe.getChunkNullPtr", static_cast<long long>(call(e, effGetChunk, 0, 0, nullptr)));
  void* after = nullptr;
  VstIntPtr sizeAfter = call(e, effGetChunk, 0, 0, &after);
  bool same =
      sizeAfter == sizeBefore && (saved.empty() || (after && std::memcmp(after, saved.data(), saved.size()) == 0));
  kv("probe.chunkUnchanged", same ? 1 : 0);

  // One second without events is silence, in both process modes.
  double peak = 0;
  for (int done = 0; done < 44100; done += block) {
    e->processReplacing(e, nullptr, outs, block);
    peak = std::max({peak, peakOf(left), peakOf(right)});
  }
  std::fill(left.begin(), left.end(), 0.0f);
  std::fill(right.begin(), right.end(), 0.0f);
  e->process(e, nullptr, outs, block);
  peak = std::max({peak, peakOf(left), peakOf(right)});
  kv("probe.silencePeak", std::to_string(peak));
}

bool readFile(const std::string& path, std::vector<std::uint8_t>& out, std::string& error) {
  if (readWholeFile(path, out) == 0) {
    error = "cannot read '" + path + "' (missing or empty)";
    return false;
  }
  return true;
}

bool parseNote(const std::string& spec, double rate, std::vector<TimedMessage>& out, std::string& error) {
  int key = -1, velocity = 100;
  double seconds = 1.0;
  char c1 = 0, c2 = 0;
  int n = std::sscanf(spec.c_str(), "%d%c%d%c%lf", &key, &c1, &velocity, &c2, &seconds);
  if (n < 1 || key < 0 || key > 127 || velocity < 1 || velocity > 127 || !(seconds > 0)) {
    error = "bad --note '" + spec + "' (KEY[:VEL[:SECONDS]], key 0..127, velocity 1..127)";
    return false;
  }
  out.push_back({0, {0x90, static_cast<std::uint8_t>(key), static_cast<std::uint8_t>(velocity)}});
  out.push_back({tools::frameAt(seconds, rate), {0x80, static_cast<std::uint8_t>(key), 0}});
  return true;
}

int run(const Options& o) {
  HostState& hs = hostState();
  hs.sampleRate = o.rate;
  hs.blockSize = o.block;

  std::vector<TimedMessage> messages;
  std::string error;
  if (!o.events.empty()) {
    std::vector<std::uint8_t> bytes;
    if (!readFile(o.events, bytes, error)) return fail(2, error);
    if (!parseEventList(std::string(bytes.begin(), bytes.end()), o.rate, messages, error))
      return fail(2, "'" + o.events + "' " + error);
  } else if (!o.midi.empty()) {
    if (!loadMidiFile(o.midi, o.rate, messages, error)) return fail(2, error);
  } else if (!o.note.empty()) {
    if (!parseNote(o.note, o.rate, messages, error)) return fail(2, error);
  }
  std::vector<std::uint8_t> chunkIn;
  if (!o.chunkIn.empty() && !readFile(o.chunkIn, chunkIn, error)) return fail(2, error);

  LoadedPlugin plugin;
  if (!plugin.load(o.plugin, hostCallback, error)) return fail(3, error);
  AEffect* e = plugin.effect();

  call(e, effOpen);
  call(e, effSetSampleRate, 0, 0, nullptr, o.rate);
  call(e, effSetBlockSize, 0, o.block);
  if (o.info) printInfo(e);
  if (!chunkIn.empty()) {
    VstIntPtr answer =
        call(e, effSetChunk, o.presetChunk ? 1 : 0, static_cast<VstIntPtr>(chunkIn.size()), chunkIn.data());
    kv("chunk.setAnswer", static_cast<long long>(answer));
  }
  call(e, effMainsChanged, 0, 1);
  if (o.info) kv("host.wantMidiCalls", hs.calls[audioMasterWantMidi]);
  call(e, effStartProcess);

  if (o.probe) runProbe(e, o.block);

  std::vector<float> allLeft, allRight;
  if (o.editor) {
    EditorSessionOptions so;
    so.block = o.block;
    so.rate = o.rate;
    so.seconds = o.seconds;
    so.idleMs = o.idleMs;
    so.play = o.sound;
    so.cycles = o.editorCycles;
    EditorSessionResult session = runEditorSession(e, so, !o.out.empty());
    if (session.exitCode != 0) return session.exitCode;
    allLeft = std::move(session.left);
    allRight = std::move(session.right);
  }
  const bool render = !o.editor && (!o.out.empty() || o.timing || !messages.empty() || o.seconds > 0);
  if (render) {
    std::int64_t total;
    if (o.seconds > 0)
      total = static_cast<std::int64_t>(std::llround(o.seconds * o.rate));
    else if (!messages.empty())
      total = messages.back().frame + static_cast<std::int64_t>(2.0 * o.rate);
    else
      total = static_cast<std::int64_t>(o.rate);
    allLeft.reserve(static_cast<std::size_t>(total));
    allRight.reserve(static_cast<std::size_t>(total));
    std::vector<float> left(static_cast<std::size_t>(o.block)), right(static_cast<std::size_t>(o.block));
    tools::VstEventBlock block;
    std::size_t next = 0;
    std::chrono::steady_clock::duration busy{};
    double threadBusy = 0.0;
    hs.processLevel = 2;
    for (std::int64_t pos = 0; pos < total; pos += o.block) {
      const int frames = static_cast<int>(std::min<std::int64_t>(o.block, total - pos));
      block.clear();
      while (next < messages.size() && messages[next].frame < pos + frames) {
        block.add(messages[next], static_cast<VstInt32>(std::max<std::int64_t>(0, messages[next].frame - pos)));
        ++next;
      }
      VstEvents* list = block.events();
      float* outs[2] = {left.data(), right.data()};
      if (o.accumulate) {
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
      }
      auto t0 = std::chrono::steady_clock::now();
      const double c0 = o.timing ? threadSeconds() : 0.0;
      if (!block.empty()) call(e, effProcessEvents, 0, 0, list);
      if (o.accumulate)
        e->process(e, nullptr, outs, frames);
      else
        e->processReplacing(e, nullptr, outs, frames);
      busy += std::chrono::steady_clock::now() - t0;
      if (o.timing) threadBusy += threadSeconds() - c0;
      allLeft.insert(allLeft.end(), left.begin(), left.begin() + frames);
      allRight.insert(allRight.end(), right.begin(), right.begin() + frames);
    }
    hs.processLevel = 1;
    double audioSeconds = static_cast<double>(total) / o.rate;
    double cpuSeconds = std::chrono::duration<double>(busy).count();
    kv("render.frames", static_cast<long long>(total));
    kv("render.peak", std::to_string(std::max(peakOf(allLeft), peakOf(allRight))));
    if (o.timing) {
      kv("timing.processSeconds", std::to_string(cpuSeconds));
      kv("timing.realtimeFactor", std::to_string(cpuSeconds > 0 ? audioSeconds / cpuSeconds : 0.0));
      // The same from the thread's processor time, which a busy machine does not inflate.
      kv("timing.threadSeconds", std::to_string(threadBusy));
      kv("timing.threadRealtimeFactor", std::to_string(threadBusy > 0 ? audioSeconds / threadBusy : 0.0));
    }
  }

  if (!o.chunkOut.empty()) {
    void* data = nullptr;
    VstIntPtr size = call(e, effGetChunk, o.presetChunk ? 1 : 0, 0, &data);
    if (size <= 0 || !data) return fail(4, "the plug-in returned no chunk");
    if (int rc = writeWholeFile(o.chunkOut, data, static_cast<std::size_t>(size)); rc != 0)
      return fail(4, "cannot write '" + o.chunkOut + "' (error " + std::to_string(rc) + ")");
    kv("chunk.saved", static_cast<long long>(size));
  }

  call(e, effStopProcess);
  call(e, effMainsChanged, 0, 0);
  // effClose frees the plug-in object; the loader must not close it a second time.
  VstIntPtr closed = e->dispatcher(e, effClose, 0, 0, nullptr, 0.0f);
  plugin.forget();
  if (o.probe) kv("probe.close", static_cast<long long>(closed));

  if (!o.out.empty() &&
      !tools::writeStereoWav(o.out, allLeft, allRight, static_cast<int>(std::lround(o.rate)),
                             o.bits == 16 ? tools::WavFormat::Pcm16 : tools::WavFormat::Float32, error))
    return fail(4, error);
  return 0;
}

bool parseArgs(int argc, char** argv, Options& o, std::string& error) {
  tools::CommandLine line;
  line.flag({"--info"}, o.info)
      .flag({"--probe"}, o.probe)
      .flag({"--accumulate"}, o.accumulate)
      .flag({"--timing"}, o.timing)
      .flag({"--editor"}, o.editor)
      .flag({"--no-sound"}, o.sound, false)
      .option({"--idle-ms"}, o.idleMs)
      .option({"--editor-cycles"}, o.editorCycles)
      .flag({"--preset-chunk"}, o.presetChunk)
      .option({"--rate"}, o.rate)
      .option({"--block"}, o.block)
      .option({"--seconds"}, o.seconds)
      .option({"--bits"}, o.bits)
      .option({"--events"}, o.events)
      .option({"--midi"}, o.midi)
      .option({"--note"}, o.note)
      .option({"--out"}, o.out)
      .option({"--chunk-in"}, o.chunkIn)
      .option({"--chunk-out"}, o.chunkOut)
      .help({"--help", "-h"})
      .operand(o.plugin, "more than one plug-in given");
  if (!line.parse(argc, argv, error)) return false;
  if (o.plugin.empty()) {
    error = "no plug-in given";
    return false;
  }
  if (!(o.rate >= 8000.0f && o.rate <= 384000.0f)) {
    error = "sample rate must be 8000..384000";
    return false;
  }
  if (o.block < 1 || o.block > 65536) {
    error = "block size must be 1..65536";
    return false;
  }
  if (o.bits != 16 && o.bits != 32) {
    error = "--bits must be 16 or 32";
    return false;
  }
  if (o.idleMs < 1 || o.idleMs > 1000) {
    error = "--idle-ms must be 1..1000";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string error;
  if (!parseArgs(argc, argv, o, error)) return tools::usageError("vsthost", error, kUsage);
  try {
    return run(o);
  } catch (const std::exception& ex) {
    return fail(4, ex.what());
  }
}
