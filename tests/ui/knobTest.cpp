#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "goldenImage.h"
#include "goldenFiles.h"
#include "graphKnobB.h"
#include "headlessHost.h"
#include "stripHelper.h"

namespace korvo {
namespace {

struct KnobFixture {
  HeadlessHost host{300, 300};
  TGraphKnobB* knob = nullptr;
  int changes = 0;
  KnobFixture() {
    host.setWindowOrigin({1000, 500});
    knob = host.root().add<TGraphKnobB>();
    knob->setPosition(100, 100);
    knob->setShowCaption(false);
    knob->setShowValue(false);
    knob->setRadius(20);
    knob->OnChange = [this](TGraphKnobB&) { ++changes; };
  }
  Point centre() const { return {knob->left() + knob->width() / 2, knob->top() + knob->height() / 2}; }
};

TEST(GraphKnob, PropertyLimits) {
  TGraphKnobB k;
  k.setNumDecimals(12);
  EXPECT_EQ(k.NumDecimals(), 8);
  k.setNumDecimals(-2);
  EXPECT_EQ(k.NumDecimals(), 0);
  struct PixCase {
    int in, stored;
  };
  for (const PixCase c : {PixCase{-300, 300}, PixCase{0, 1}, PixCase{20000, 16384}, PixCase{180, 180}}) {
    k.setMaxPixDist(c.in);
    EXPECT_EQ(k.MaxPixDist(), c.stored);
  }
  k.setMinFineFac(-1);
  EXPECT_EQ(k.MinFineFac(), 0.0f);
  k.setMaxFinePixDist(-5);
  EXPECT_EQ(k.MaxFinePixDist(), 0);
  // Bounds cannot cross: a minimum above the maximum stops at it.
  k.setMaxValue(10);
  k.setMinValue(20);
  EXPECT_EQ(k.MinValue(), 10.0f);
  k.setMaxValue(-5);
  EXPECT_EQ(k.MaxValue(), 10.0f);
}

TEST(GraphKnob, QuantisationAndIntegerReading) {
  TGraphKnobB k;
  k.setMinValue(-127);
  k.setMaxValue(127);
  k.setValueStep(1);
  EXPECT_EQ(k.NumDecimals(), 0);
  struct Case {
    float in, stored;
  };
  for (const Case c : {Case{2.5f, 2}, Case{3.5f, 4}, Case{-2.5f, -2}, Case{200, 127}, Case{-1000, -127}}) {
    k.setValue(c.in);
    EXPECT_EQ(k.Value(), c.stored) << c.in;
  }
  k.setValueStep(0);
  k.setValue(2.5f);
  EXPECT_EQ(k.IntValue(), 2);  // to nearest, ties to even
  k.setValue(-2.7f);
  EXPECT_EQ(k.IntValue(), -3);
  k.IntTruncMode = true;
  EXPECT_EQ(k.IntValue(), -2);
  k.setValueStep(0.5f);  // fractional step keeps the decimals
  EXPECT_EQ(k.NumDecimals(), 0);
}

TEST(GraphKnob, DerivedStateOfTheRange) {
  TGraphKnobB k;
  k.setMinValue(-63);
  k.setMaxValue(63);
  EXPECT_FLOAT_EQ(k.deadZone(), 5.04f);
  k.setMaxPixDist(180);
  EXPECT_FLOAT_EQ(k.dragScale(), 126.0f / 180.0f);
  k.setValue(63);
  EXPECT_FLOAT_EQ(k.angle(), 144.0f);
  k.setValue(-63);
  EXPECT_FLOAT_EQ(k.angle(), -144.0f);
  k.setValue(0);
  EXPECT_FLOAT_EQ(k.angle(), 0.0f);
  // Empty range: nothing scales, the first frame shows.
  k.setMinValue(0);
  k.setMaxValue(0);
  EXPECT_EQ(k.dragScale(), 0.0f);
  EXPECT_FLOAT_EQ(k.angle(), -144.0f);
}

TEST(GraphKnob, DragLaw) {
  struct Case {
    const char* name;
    int sideways;  // pointer x offset from the press point during the move
    ShiftState shift;
    int up;          // pixels moved up
    float expected;  // value after the move, from 50 in 0..100 with 100 px for the range
  };
  // Drag value starts at 50 + 4 (dead zone); value = drag value - 4.
  const Case cases[] = {
      {"straight", 0, 0, 10, 50 + 10 * (1 - 1.0f / 200)}, {"sideways 99", 99, 0, 10, 50 + 10 * 0.5f},
      {"shift", 0, kShift, 10, 50 + 10 * 0.2f},           {"far sideways bottoms out", 300, 0, 10, 50 + 10 * 0.2f},
      {"down", 0, 0, -20, 50 - 20 * (1 - 1.0f / 200)},
  };
  for (const Case& c : cases) {
    KnobFixture f;
    f.knob->setMinValue(0);
    f.knob->setMaxValue(100);
    f.knob->setMaxPixDist(100);
    f.knob->setValue(50);
    const Point p = f.centre();
    f.host.press(p);
    f.host.move({p.x + c.sideways, p.y - c.up}, c.shift);
    EXPECT_NEAR(f.knob->Value(), c.expected, 1e-4) << c.name;
    EXPECT_EQ(f.changes, 1) << c.name;
    f.host.release({p.x + c.sideways, p.y - c.up});
  }
}

TEST(GraphKnob, DeadZoneAroundZero) {
  KnobFixture f;
  f.knob->setMinValue(-63);
  f.knob->setMaxValue(63);
  f.knob->setMaxPixDist(126);  // 1 unit per pixel
  f.knob->setMaxFinePixDist(0);
  f.knob->setMinFineFac(1);  // fine factor 1: whole pixels map to whole units
  f.knob->setValue(10);
  const Point p = f.centre();
  f.host.press(p);  // drag value 15.04
  struct Step {
    int y;        // total pixels down from the press
    float value;  // expected value
  };
  // Down through zero: the value stops at 0 for the 10.08 units of the dead zone, then goes on.
  const Step steps[] = {{5, 5}, {10, 0}, {15, 0}, {20, 0}, {21, -0.92f}, {30, -9.92f}};
  for (const Step& s : steps) {
    f.host.move({p.x, p.y + s.y});
    EXPECT_NEAR(f.knob->Value(), s.value, 1e-4) << s.y;
  }
  f.host.release({p.x, p.y + 30});

  // Without snapping the value jumps across the same band instead of resting at 0.
  f.knob->SnapToZero = false;
  f.knob->setValue(10);
  f.host.press(p);
  f.host.move({p.x, p.y + 12});  // drag value 3.04: inside the band, still >= 0
  EXPECT_NEAR(f.knob->Value(), -2.0f, 1e-4);
  f.host.move({p.x, p.y + 16});  // drag value -0.96
  EXPECT_NEAR(f.knob->Value(), 4.08f, 1e-4);
  f.host.release({p.x, p.y + 16});
}

TEST(GraphKnob, PointerIsRestoredAfterTheDrag) {
  KnobFixture f;
  const Point p = f.centre();
  f.host.press(p);
  f.host.move({p.x, p.y - 30});
  f.host.release({p.x, p.y - 30});
  ASSERT_EQ(f.host.pointerWarps().size(), 1u);
  EXPECT_EQ(f.host.pointerWarps()[0], (Point{1000 + p.x, 500 + p.y}));
  f.knob->DoRestoreMousePos = false;
  f.host.press(p);
  f.host.move({p.x, p.y - 30});
  f.host.release({p.x, p.y - 30});
  EXPECT_EQ(f.host.pointerWarps().size(), 1u);
  EXPECT_EQ(f.host.pointerPosition(), (Point{1000 + p.x, 500 + p.y - 30}));
}

TEST(GraphKnob, ValueFromCodeRaisesNoChange) {
  KnobFixture f;
  f.knob->setValue(12);
  f.knob->setMinValue(-20);
  f.knob->setMaxValue(5);  // clamps the value: still no event
  EXPECT_EQ(f.knob->Value(), 5.0f);
  EXPECT_EQ(f.changes, 0);
  f.host.press(f.centre(), MouseButton::Right);  // other buttons do not drag
  f.host.move({f.centre().x, f.centre().y - 40});
  f.host.release({f.centre().x, f.centre().y - 40}, MouseButton::Right);
  EXPECT_EQ(f.changes, 0);
}

TEST(GraphKnob, StripFramesFollowTheValue) {
  KnobFixture f;
  TAniGIF strip;
  test::makeStrip(strip, 11, 40, 40);
  f.knob->setAniGIF(&strip);
  EXPECT_EQ(f.knob->Radius(), 20);
  f.knob->setMinValue(-127);
  f.knob->setMaxValue(127);
  struct Case {
    float value;
    int frame;
  };
  // frame = round((v - min) / range x count), limited to count - 1.
  for (const Case c : {Case{-127, 0}, Case{0, 6}, Case{127, 10}, Case{-122, 0}, Case{-104, 1}}) {
    f.knob->setValue(c.value);
    EXPECT_EQ(f.knob->currentFrame(), c.frame) << c.value;
  }
  f.knob->setValue(0);
  EXPECT_EQ(f.host.frame().at(f.knob->left() + 20, f.knob->top() + 20), test::stripColour(6));
  // An image list takes over (and clears the GIF strip); same frame rule.
  std::vector<Image> list;
  for (int i = 0; i < 4; ++i) list.emplace_back(40, 40, test::stripColour(i));
  f.knob->setImageList(&list);
  f.knob->setValue(127);
  EXPECT_EQ(f.knob->currentFrame(), 3);
  f.knob->setValue(-64);  // 4 x 63 / 254 = 0.99
  EXPECT_EQ(f.knob->currentFrame(), 1);
  EXPECT_EQ(f.host.frame().at(f.knob->left() + 20, f.knob->top() + 20), test::stripColour(1));
  f.knob->setImageList(nullptr);  // no strip at all: drawn knob
  EXPECT_EQ(f.knob->currentFrame(), -1);
  f.knob->setAniGIF(&strip);
  f.knob->setMinValue(0);
  f.knob->setMaxValue(0);
  EXPECT_EQ(f.knob->currentFrame(), 0);
}

TEST(GraphKnob, TypedValue) {
  HeadlessHost host(200, 200);
  auto* k = host.root().add<TGraphKnobB>();
  k->setMinValue(-100);
  k->setMaxValue(100);
  k->setNumChars(5);
  int changes = 0;
  k->OnChange = [&](TGraphKnobB&) { ++changes; };
  host.frame();  // lays out the value box
  TextBox& box = k->valueBox();
  box.setFocus();
  box.setText("");
  host.typeText("42.5");
  host.pressKey(keys::Return);
  EXPECT_FLOAT_EQ(k->Value(), 42.5f);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(host.focus(), k);
  box.setFocus();
  box.setText("");
  host.typeText("abc");
  host.pressKey(keys::Return);
  EXPECT_EQ(k->Value(), 0.0f);
  EXPECT_EQ(k->valueText(), "0.000");
}

TEST(GraphKnob, Golden) {
  HeadlessHost host(200, 80);
  host.root().colour = fromTColor(5653829);
  TAniGIF strip;
  test::makeStrip(strip, 11, 40, 40);
  const float values[] = {-127, 30, 127};
  for (int i = 0; i < 3; ++i) {
    auto* k = host.root().add<TGraphKnobB>();
    k->setPosition(10 + 60 * i, 5);
    k->setColour(1, 5653829);
    k->setColour(2, 12668738);
    k->setColour(3, 15585980);
    k->setColour(4, 5653829);
    k->setColour(5, 0x808000);
    k->setCaption(i == 0 ? "Rate" : i == 1 ? "Depth" : "Wave");
    k->setRadius(18);
    k->setMinValue(-127);
    k->setMaxValue(127);
    k->setValueStep(1);
    k->setNumChars(5);
    if (i == 2) k->setAniGIF(&strip);
    k->setValue(values[i]);
  }
  std::string why;
  EXPECT_TRUE(matchesGolden(host.frame(), test::goldenPath("graphKnobB"), &why)) << why;
}

}  // namespace
}  // namespace korvo
