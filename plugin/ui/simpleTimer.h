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
#include <cstdint>
#include <functional>
#include <memory>

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
