#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "goldenImage.h"
#include "GraphButton.h"
#include "goldenFiles.h"
#include "headlessHost.h"
#include "simpleTimer.h"
#include "stripHelper.h"

namespace korvo {
namespace {

struct ButtonFixture {
  HeadlessHost host{200, 120};
  TAniGIF strip;
  TGraphButton* button = nullptr;
  int clicks = 0;
  ButtonFixture() {
    test::makeStrip(strip, 6, 40, 21);
    button = host.root().add<TGraphButton>();
    button->setPosition(10, 10);
    button->onClick = [this](Control&) { ++clicks; };
  }
};

TEST(GraphButton, ClickOnlyOnReleaseWhileStillPressed) {
  ButtonFixture f;
  f.button->setAniGIF(&f.strip);
  const Point in{20, 20};
  f.host.click(in);
  EXPECT_EQ(f.clicks, 1);
  EXPECT_EQ(f.host.focus(), f.button);
  // Drag out and back in: released on the way out, no click.
  f.host.press(in);
  EXPECT_TRUE(f.button->pressed());
  f.host.move({10 + 41 + 1, 20});
  EXPECT_FALSE(f.button->pressed());
  f.host.move(in);
  EXPECT_FALSE(f.button->pressed());
  f.host.release(in);
  EXPECT_EQ(f.clicks, 1);
  // The edge (x = width) still counts as inside.
  f.host.press(in);
  f.host.move({10 + f.button->width(), 20});
  EXPECT_TRUE(f.button->pressed());
  f.host.release({10 + f.button->width(), 20});
  EXPECT_EQ(f.clicks, 2);
}

TEST(GraphButton, FramesAndDisplacement) {
  ButtonFixture f;
  f.button->setAniGIF(&f.strip);
  f.button->setHasTwoFrames(true);
  f.button->setPressDisplacement(0);
  f.button->setAniIdx(2);
  EXPECT_EQ(f.button->currentFrame(), 2);
  EXPECT_EQ(f.button->width(), 40);
  EXPECT_EQ(f.host.frame().at(10 + 5, 10 + 5), test::stripColour(2));
  f.host.press({15, 15});
  EXPECT_EQ(f.button->currentFrame(), 3);
  EXPECT_EQ(f.host.frame().at(10 + 5, 10 + 5), test::stripColour(3));
  EXPECT_EQ(f.host.frame().at(10, 10), rgb(10, 10, 10));  // not moved
  f.host.release({15, 15});
  f.button->setAniIdx(-4);
  EXPECT_EQ(f.button->AniIdx(), 0);
  // Displacement 1 and one frame: the pressed image moves right and down.
  f.button->setHasTwoFrames(false);
  f.button->setPressDisplacement(1);
  f.host.press({15, 15});
  EXPECT_EQ(f.button->currentFrame(), 0);
  EXPECT_EQ(f.host.frame().at(11, 11), rgb(10, 10, 10));
  EXPECT_EQ(f.host.frame().at(10, 10), f.host.root().colour);  // the root shows through the uncovered edge
}

TEST(GraphButton, LayoutOfCaptionPlaces) {
  HeadlessHost host(200, 120);
  auto* b = host.root().add<TGraphButton>();
  b->setCaption("Go");
  const int tw = textWidth("Go", b->font);
  const int th = textHeight(b->font);
  struct Case {
    TGraphButton_capPlace place;
    int w, h;
    Point caption, image;
  };
  // No strip: a 20 x 20 image; d = 1.
  const int wc = 21, hc = 21;
  const int wa = std::max(tw, 20) + 1, ha = th + 20 + 1 + 2;
  const int wr = tw + 20 + 1 + 2, hr = std::max(th, 20) + 1;
  const Case cases[] = {
      {KswCapCenter, wc, hc, {wc / 2 - tw / 2, hc / 2 - th / 2 - 2}, {0, 0}},
      {KswCapAbove, wa, ha, {wa / 2 - tw / 2, 0}, {wa / 2 - 10, th + 2}},
      {KswCapRight, wr, hr, {22, hr / 2 - th / 2}, {0, hr / 2 - 10}},
      {KswCapBelow, wa, ha, {wa / 2 - tw / 2, 22}, {wa / 2 - 10, 0}},
      {KswCapLeft, wr, hr, {0, hr / 2 - th / 2}, {tw + 2, hr / 2 - 10}},
  };
  for (const Case& c : cases) {
    b->setCaptionPlace(c.place);
    EXPECT_EQ(b->width(), c.w) << c.place;
    EXPECT_EQ(b->height(), c.h) << c.place;
    EXPECT_EQ(b->captionPos(), c.caption) << c.place;
    EXPECT_EQ(b->imagePos(), c.image) << c.place;
  }
  EXPECT_EQ(b->currentFrame(), -1);  // no strip: the black square
}

TEST(GraphButton, Golden) {
  ButtonFixture f;
  f.host.root().colour = fromTColor(5653829);
  f.button->setAniGIF(&f.strip);
  f.button->setAniIdx(2);
  f.button->setCaption("Write");
  f.button->setCaptionPlace(KswCapBelow);
  f.button->font = Font{"Arial", -11};
  auto* plain = f.host.root().add<TGraphButton>();
  plain->setPosition(100, 10);
  plain->setCaption("none");
  plain->setCaptionPlace(KswCapRight);
  plain->setColFont(0x00FFFF);
  f.host.press({plain->left() + 5, plain->top() + 5});
  std::string why;
  EXPECT_TRUE(matchesGolden(f.host.frame(), test::goldenPath("graphButton"), &why)) << why;
}

// Timer ---------------------------------------------------------------------------------------

// Events fire only when the test says so.
class ManualTimerService : public TimerEventService {
 public:
  unsigned setEvent(unsigned delayMs, unsigned, std::function<void(unsigned)> cb) override {
    ++armed;
    lastDelay = delayMs;
    pending[++nextId] = std::move(cb);
    return nextId;
  }
  void killEvent(unsigned id) override {
    if (pending.erase(id)) ++killed;
  }
  // Fires the oldest pending event.
  bool fire() {
    if (pending.empty()) return false;
    auto it = pending.begin();
    const unsigned id = it->first;
    auto cb = std::move(it->second);
    pending.erase(it);
    cb(id);
    return true;
  }
  std::map<unsigned, std::function<void(unsigned)>> pending;
  unsigned nextId = 0;
  int armed = 0;
  int killed = 0;
  unsigned lastDelay = 0;
};

TEST(SimpleTimer, ZeroPeriodRunsAtOneMillisecond) {
  ManualTimerService svc;
  CsimpleTimer t(&svc);
  t.Start(true, 0);
  EXPECT_EQ(t.period(), 1u);
  EXPECT_EQ(svc.lastDelay, 1u);
  EXPECT_TRUE(t.running());
}

TEST(SimpleTimer, EachTickReArmsAfterTheAction) {
  ManualTimerService svc;
  CsimpleTimer t(&svc);
  int ticks = 0;
  t.action = [&](int, int) {
    ++ticks;
    EXPECT_TRUE(svc.pending.empty());  // the next event is armed only after the action
  };
  t.Start(true, 35);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(svc.fire());
  EXPECT_EQ(ticks, 5);
  EXPECT_EQ(svc.armed, 6);
  EXPECT_EQ(svc.pending.size(), 1u);
  EXPECT_EQ(t.nesting(), 0);
}

TEST(SimpleTimer, RestartWhileRunningChangesOnlyThePeriod) {
  ManualTimerService svc;
  CsimpleTimer t(&svc);
  t.Start(true, 35);
  t.Start(false, 50);  // running: periodic flag and pending event stay
  EXPECT_EQ(svc.armed, 1);
  EXPECT_TRUE(t.periodic());
  EXPECT_EQ(svc.lastDelay, 35u);
  svc.fire();
  EXPECT_EQ(svc.lastDelay, 50u);  // the new period from the next re-arm on
}

TEST(SimpleTimer, SingleShotStopsAfterOneTick) {
  ManualTimerService svc;
  CsimpleTimer t(&svc);
  int ticks = 0;
  t.action = [&](int, int) { ++ticks; };
  t.Start(false, 10);
  svc.fire();
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(t.running());
  EXPECT_FALSE(svc.fire());
}

TEST(SimpleTimer, OverlappingTickNeitherActsNorReArms) {
  ManualTimerService svc;
  CsimpleTimer t(&svc);
  int ticks = 0;
  t.action = [&](int, int) {
    ++ticks;
    if (ticks == 1) t.Tick(999);  // a second system tick arrives while the action runs
  };
  t.Start(true, 35);
  svc.fire();
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(svc.armed, 2);  // only the outer tick re-armed
  EXPECT_EQ(t.nesting(), 0);
}

TEST(SimpleTimer, StopKillsThePendingEvent) {
  ManualTimerService svc;
  CsimpleTimer t(&svc);
  t.Start(true, 35);
  t.Stop();
  EXPECT_EQ(svc.killed, 1);
  EXPECT_TRUE(svc.pending.empty());
  EXPECT_FALSE(t.running());
}

TEST(SimpleTimer, RealThreadTicksAndStops) {
  std::atomic<int> ticks{0};
  {
    CsimpleTimer t;
    t.action = [&](int, int) { ++ticks; };
    t.Start(true, 2);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (ticks < 5 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    t.Stop();
    const int atStop = ticks;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(ticks, atStop);
    EXPECT_GE(atStop, 5);
    t.Start(true, 1);  // destroyed while running: the destructor stops it
  }
}

// The clock service of the window hosts: a host that idles late gets one tick, not a burst, and
// the timer goes on with its period from that tick.
TEST(SimpleTimer, ClockServiceMergesMissedTicksAndFiresOnlyWhenDue) {
  ClockTimerService clock;
  CsimpleTimer timer(&clock);
  int ticks = 0;
  timer.action = [&](int, int) { ++ticks; };
  const auto t0 = ClockTimerService::Clock::now();
  timer.Start(true, 35);
  clock.poll(t0);
  EXPECT_EQ(ticks, 0);                              // not yet due
  clock.poll(t0 + std::chrono::milliseconds(400));  // ten periods late
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(clock.pending(), 1u);  // re-armed by the tick, due a period after now
  clock.poll(t0 + std::chrono::milliseconds(401));
  EXPECT_EQ(ticks, 1);
  timer.Stop();
  EXPECT_EQ(clock.pending(), 0u);
  clock.poll(t0 + std::chrono::hours(1));
  EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace korvo
