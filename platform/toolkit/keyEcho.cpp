#include "keyEcho.h"

#include <algorithm>
#include <chrono>

namespace korvo {

bool KeyEchoFilter::accept(Route route, bool down, int key, std::uint64_t nowMs) {
  std::erase_if(waiting_, [nowMs](const Delivered& d) { return nowMs - d.at > kWindowMs; });
  const auto copy = std::find_if(waiting_.begin(), waiting_.end(), [&](const Delivered& d) {
    return d.route != route && d.down == down && d.key == key;
  });
  if (copy != waiting_.end()) {
    waiting_.erase(copy);
    return false;
  }
  // A long burst of one route (auto-repeat) must not grow the list without bound.
  if (waiting_.size() >= 64) waiting_.erase(waiting_.begin());
  waiting_.push_back({route, down, key, nowMs});
  return true;
}

bool KeyEchoFilter::accept(Route route, bool down, int key) {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return accept(route, down, key,
                static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count()));
}

}  // namespace korvo
