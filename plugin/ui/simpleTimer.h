// CsimpleTimer: a periodic timer built on one-shot timer events. Each tick's action runs on the
// timer's thread; the next event is armed only after the action returns, so a period is
// measured from the end of the previous tick, and a tick that arrives while another is still
// running neither calls the action nor re-arms. The editor window's action only posts a
// message to its own thread.
//
// The one-shot event service is an interface so that tests drive ticks by hand; the default
// service runs one worker thread per timer.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace korvo {

// One-shot timer events: after `delayMs` the callback runs once on the service's thread.
class TimerEventService {
 public:
  virtual ~TimerEventService() = default;
  // Arms an event; returns its id (never 0).
  virtual unsigned setEvent(unsigned delayMs, unsigned resolution, std::function<void(unsigned id)> callback) = 0;
  // Cancels a pending event. When its callback is running on another thread, waits for it.
  virtual void killEvent(unsigned id) = 0;
};

// The default service: a worker thread that sleeps until the pending event is due.
std::unique_ptr<TimerEventService> makeThreadTimerService();

// A service with no thread: events fire in poll(), which the window's thread calls from its
// idle. Hosts call idle every 40 to 66 ms (some before the editor is open), so a period shorter
// than that fires at most once per poll: the ticks missed meanwhile are merged into one.
class ClockTimerService : public TimerEventService {
 public:
  using Clock = std::chrono::steady_clock;
  unsigned setEvent(unsigned delayMs, unsigned resolution, std::function<void(unsigned id)> callback) override;
  void killEvent(unsigned id) override;
  // Runs the callbacks of the events due at `now`; events armed by a callback wait for the next poll.
  void poll(Clock::time_point now = Clock::now());
  std::size_t pending() const { return events_.size(); }

 private:
  struct Event {
    unsigned id;
    Clock::time_point due;
    std::function<void(unsigned)> callback;
  };
  std::vector<Event> events_;
  std::vector<unsigned> killed_;
  Clock::time_point lastPoll_{};
  unsigned lastId_ = 0;
};

class CsimpleTimer {
 public:
  // With no service the timer makes its own thread service. Nothing starts.
  explicit CsimpleTimer(TimerEventService* service = nullptr);
  ~CsimpleTimer();
  CsimpleTimer(const CsimpleTimer&) = delete;
  CsimpleTimer& operator=(const CsimpleTimer&) = delete;

  // Sets the period (0 is stored as 1); when not running, starts with the periodic flag.
  void Start(bool periodic, unsigned period);
  void Stop();

  // Called on each tick with the event id and 0. Assign before Start.
  std::function<void(int, int)> action;

  unsigned period() const { return period_.load(); }
  bool running() const { return running_.load(); }
  bool periodic() const { return periodic_.load(); }
  unsigned eventId() const { return eventId_.load(); }
  int nesting() const { return nesting_.load(); }

  // The system callback of the one-shot event (public so a hand-driven service can call it).
  void Tick(unsigned id);

 private:
  void arm();
  std::unique_ptr<TimerEventService> ownService_;
  TimerEventService* service_;
  std::atomic<unsigned> period_{0};
  unsigned resolution_ = 0;
  std::atomic<bool> periodic_{false};
  std::atomic<bool> running_{false};
  std::atomic<unsigned> eventId_{0};
  std::atomic<int> nesting_{0};
};

}  // namespace korvo
