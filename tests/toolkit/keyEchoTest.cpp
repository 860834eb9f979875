#include <gtest/gtest.h>

#include "keyEcho.h"

namespace korvo {
namespace {

using Route = KeyEchoFilter::Route;

TEST(KeyEchoFilter, DropsTheCopyFromTheOtherRouteWhicheverComesFirstButNeverARepeatOfOneRoute) {
  KeyEchoFilter f;
  // A host that sends each key both ways: system first, then its own copy.
  EXPECT_TRUE(f.accept(Route::System, true, 'A', 1000));
  EXPECT_FALSE(f.accept(Route::Host, true, 'A', 1001));
  EXPECT_TRUE(f.accept(Route::System, false, 'A', 1080));
  EXPECT_FALSE(f.accept(Route::Host, false, 'A', 1082));
  // The other order.
  EXPECT_TRUE(f.accept(Route::Host, true, 'B', 2000));
  EXPECT_FALSE(f.accept(Route::System, true, 'B', 2003));
  // Another key or the other direction is no copy.
  EXPECT_TRUE(f.accept(Route::Host, true, 'C', 3000));
  EXPECT_TRUE(f.accept(Route::System, false, 'C', 3001));
  EXPECT_TRUE(f.accept(Route::System, true, 'D', 3002));
  // One route only, auto-repeat included: every event counts.
  KeyEchoFilter one;
  for (int i = 0; i < 200; ++i) EXPECT_TRUE(one.accept(Route::Host, true, 'E', 5000 + 33u * static_cast<unsigned>(i)));
  for (int i = 0; i < 200; ++i)
    EXPECT_TRUE(one.accept(Route::System, true, 'F', 20000 + 10u * static_cast<unsigned>(i)))
        << "a burst of one route must not be taken for copies, nor grow without bound";
  // A copy that comes too late is a new key.
  KeyEchoFilter late;
  EXPECT_TRUE(late.accept(Route::System, true, 'G', 100));
  EXPECT_TRUE(late.accept(Route::Host, true, 'G', 100 + KeyEchoFilter::kWindowMs + 1));
  // Each delivery pairs with one copy only.
  KeyEchoFilter pairs;
  EXPECT_TRUE(pairs.accept(Route::System, true, 'H', 10));
  EXPECT_FALSE(pairs.accept(Route::Host, true, 'H', 11));
  EXPECT_TRUE(pairs.accept(Route::Host, true, 'H', 12));
}

}  // namespace
}  // namespace korvo
