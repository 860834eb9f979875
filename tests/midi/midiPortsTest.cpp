#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <vector>

#include "midiBackend.h"
#include "midiio2.h"

namespace korvo {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Collected {
  std::vector<Bytes> messages;
  SysExHandler handler() {
    return [this](const std::uint8_t* d, std::size_t n) { messages.emplace_back(d, d + n); };
  }
};

Bytes sysex(std::size_t size, std::uint8_t fill = 0x11) {
  Bytes b(size, fill);
  b.front() = 0xF0;
  b.back() = 0xF7;
  return b;
}

TEST(SysExAssembler, RebuildsMessagesFromPiecesAndDropsBrokenOnes) {
  SysExAssembler a;
  Collected got;
  const Bytes m = sysex(210);
  // Split anywhere, with a clock byte inside and stray data before.
  const Bytes p1 = {0x42, 0x43, 0xF0, 0x11, 0xF8};
  a.feed(p1.data(), p1.size(), got.handler());
  a.feed(m.data() + 2, m.size() - 2, got.handler());
  ASSERT_EQ(got.messages.size(), 1u);
  EXPECT_EQ(got.messages[0], m);
  // A status byte ends a message unfinished; a new F0 cuts the previous one.
  const Bytes broken = {0xF0, 0x01, 0x90, 0x40, 0x7F, 0xF0, 0x02, 0xF0, 0x03, 0xF7};
  a.feed(broken.data(), broken.size(), got.handler());
  ASSERT_EQ(got.messages.size(), 2u);
  EXPECT_EQ(got.messages[1], (Bytes{0xF0, 0x03, 0xF7}));
  EXPECT_EQ(a.droppedMessages(), 2u);
}

TEST(SysExAssembler, KeepsToTheBufferLimit) {
  SysExAssembler a;
  Collected got;
  const Bytes longest = sysex(kMaxSysEx);
  a.feed(longest.data(), longest.size(), got.handler());
  ASSERT_EQ(got.messages.size(), 1u);
  EXPECT_EQ(got.messages[0].size(), kMaxSysEx);
  // One byte more is dropped whole, and the next message arrives intact.
  const Bytes tooLong = sysex(kMaxSysEx + 1);
  a.feed(tooLong.data(), tooLong.size(), got.handler());
  const Bytes huge = sysex(200000);
  a.feed(huge.data(), huge.size(), got.handler());
  const Bytes next = sysex(6, 0x22);
  a.feed(next.data(), next.size(), got.handler());
  ASSERT_EQ(got.messages.size(), 2u);
  EXPECT_EQ(got.messages[1], next);
  EXPECT_EQ(a.droppedMessages(), 2u);
}

TEST(MidiPorts, OutputOpensOnceAndRefusesWhatItCannotSend) {
  auto loop = std::make_shared<LoopbackMidi>();
  std::vector<Bytes> arrived;
  std::mutex m;
  loop->setFarEndListener([&](int, const Bytes& b) {
    std::lock_guard g(m);
    arrived.push_back(b);
  });
  CmidiIO io(loop);
  ASSERT_EQ(io.OutputCount(), 2);
  EXPECT_EQ(io.OutputPort(2), nullptr);
  EXPECT_EQ(io.OutputPort(-1), nullptr);
  Cmidi_outDev& out = *io.OutputPort(1);
  EXPECT_EQ(out.Name(), "Loopback B");
  EXPECT_EQ(out.Send(6), midierr::kNotOpen);
  EXPECT_EQ(out.Buffer(), nullptr);
  ASSERT_EQ(out.Open(), 0);
  EXPECT_EQ(out.Open(), 0);  // already open: nothing happens
  std::fill(out.Buffer(), out.Buffer() + kSysExBufferSize, 0x10);
  EXPECT_EQ(out.Send(65535), 0);
  EXPECT_EQ(out.Send(65536), midierr::kTooLong);
  loop->flush();
  ASSERT_EQ(arrived.size(), 1u);
  EXPECT_EQ(arrived[0].size(), 65535u);
  EXPECT_EQ(out.Close(), 0);
  EXPECT_FALSE(out.IsOpen());
  loop->setHeldElsewhere(0, true);
  EXPECT_EQ(io.OutputPort(0)->Open(), midierr::kAllocated);
  EXPECT_FALSE(io.OutputPort(0)->IsOpen());
}

TEST(MidiPorts, InputDeliversOnItsThreadUntilClosed) {
  auto loop = std::make_shared<LoopbackMidi>();
  CmidiIO io(loop);
  Cmidi_inDev& in = *io.InputPort(0);
  std::atomic<int> calls{0};
  std::atomic<bool> otherThread{false};
  const auto self = std::this_thread::get_id();
  in.SetLongHandler([&](int device, const std::uint8_t*, std::size_t size) {
    EXPECT_EQ(device, 0);
    EXPECT_EQ(size, 8166u);
    otherThread = std::this_thread::get_id() != self;
    ++calls;
  });
  ASSERT_EQ(in.Open(), 0);
  EXPECT_EQ(in.Open(), 0);
  // Only one program holds an input at a time.
  std::unique_ptr<MidiInputConnection> second;
  EXPECT_EQ(loop->openInput(0, nullptr, second), midierr::kAllocated);
  loop->inject(0, sysex(8166));
  loop->flush();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(otherThread);
  in.Close();
  loop->inject(0, sysex(8166));
  loop->flush();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(loop->openInputCount(), 0);
  // Enumerating again replaces the port objects and closes what was open.
  ASSERT_EQ(io.InputPort(1)->Open(), 0);
  loop->setNames({"Only"});
  io.Enumerate();
  EXPECT_EQ(io.InputCount(), 1);
  EXPECT_EQ(loop->openInputCount(), 0);
  EXPECT_EQ(io.FindInput("Only"), 0);
  EXPECT_EQ(io.FindInput("Loopback B"), -1);
}

#if !defined(_WIN32)
TEST(MidiPorts, SystemBackendWithoutSequencerListsNothing) {
  struct stat st;
  if (stat("/dev/snd/seq", &st) == 0) GTEST_SKIP() << "this machine has a sequencer device";
  CmidiIO io;  // the system's ports
  EXPECT_EQ(io.InputCount(), 0);
  EXPECT_EQ(io.OutputCount(), 0);
  std::unique_ptr<MidiInputConnection> in;
  std::unique_ptr<MidiOutputConnection> out;
  EXPECT_NE(io.Backend().openInput(0, nullptr, in), 0);
  EXPECT_NE(io.Backend().openOutput(0, out), 0);
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(out, nullptr);
  EXPECT_FALSE(io.ErrorText(midierr::kBadDevice).empty());
}
#endif

}  // namespace
}  // namespace korvo
