// Some hosts pass a key to the editor twice: once as the system delivers it to the window (or
// to the keyboard hook) and once more through effEditKeyDown/effEditKeyUp. KeyEchoFilter lets
// the first copy through and drops the second, whichever route it takes; a host that uses one
// route only is never filtered, auto-repeat included.
#pragma once

#include <cstdint>
#include <vector>

namespace korvo {

class KeyEchoFilter {
 public:
  enum class Route { System, Host };
  // How long a delivered key waits for its copy from the other route.
  static constexpr std::uint64_t kWindowMs = 150;

  // True when the key event is to be delivered; false when it is the copy of one that came by
  // the other route. `key` is a virtual-key code.
  bool accept(Route route, bool down, int key, std::uint64_t nowMs);
  bool accept(Route route, bool down, int key);

 private:
  struct Delivered {
    Route route;
    bool down;
    int key;
    std::uint64_t at;
  };
  std::vector<Delivered> waiting_;
};

}  // namespace korvo
