#include "simpleTimer.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace korvo {

namespace {

class ThreadTimerService : public TimerEventService {
 public:
  ThreadTimerService() : worker_([this] { run(); }) {}
  ~ThreadTimerService() override {
    {
      std::lock_guard<std::mutex> lock(m_);
      quit_ = true;
    }
    cv_.notify_all();
    worker_.join();
  }

  unsigned setEvent(unsigned delayMs, unsigned, std::function<void(unsigned)> callback) override {
    std::lock_guard<std::mutex> lock(m_);
    if (++lastId_ == 0) ++lastId_;
    pendingId_ = lastId_;
    due_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(delayMs);
    callback_ = std::move(callback);
    cv_.notify_all();
    return pendingId_;
  }

  void killEvent(unsigned id) override {
    std::unique_lock<std::mutex> lock(m_);
    if (pendingId_ == id) {
      pendingId_ = 0;
      callback_ = nullptr;
      cv_.notify_all();
    }
    if (std::this_thread::get_id() != worker_.get_id()) cv_.wait(lock, [&] { return runningId_ != id; });
  }

 private:
  void run() {
    std::unique_lock<std::mutex> lock(m_);
    while (!quit_) {
      if (pendingId_ == 0) {
        cv_.wait(lock);
        continue;
      }
      if (std::chrono::steady_clock::now() < due_) {
        cv_.wait_until(lock, due_);  // re-armed, killed or due: look again
        continue;
      }
      const unsigned id = pendingId_;
      auto fn = std::move(callback_);
      pendingId_ = 0;
      runningId_ = id;
      lock.unlock();
      if (fn) fn(id);
      lock.lock();
      runningId_ = 0;
      cv_.notify_all();
    }
  }

  std::mutex m_;
  std::condition_variable cv_;
  bool quit_ = false;
  unsigned lastId_ = 0;
  unsigned pendingId_ = 0;
  unsigned runningId_ = 0;
  std::chrono::steady_clock::time_point due_{};
  std::function<void(unsigned)> callback_;
  std::thread worker_;
};

}  // namespace

unsigned ClockTimerService::setEvent(unsigned delayMs, unsigned, std::function<void(unsigned)> callback) {
  if (++lastId_ == 0) ++lastId_;
  // Armed from a tick, an event counts from the time of the poll that ran it.
  const Clock::time_point from = std::max(Clock::now(), lastPoll_);
  events_.push_back({lastId_, from + std::chrono::milliseconds(delayMs), std::move(callback)});
  return lastId_;
}

void ClockTimerService::killEvent(unsigned id) {
  std::erase_if(events_, [id](const Event& e) { return e.id == id; });
  killed_.push_back(id);
}

void ClockTimerService::poll(Clock::time_point now) {
  lastPoll_ = std::max(lastPoll_, now);
  std::vector<Event> due;
  for (auto it = events_.begin(); it != events_.end();) {
    if (it->due <= now) {
      due.push_back(std::move(*it));
      it = events_.erase(it);
    } else {
      ++it;
    }
  }
  // A callback may cancel another event that fell due in the same poll.
  killed_.clear();
  for (Event& e : due)
    if (e.callback && std::find(killed_.begin(), killed_.end(), e.id) == killed_.end()) e.callback(e.id);
  killed_.clear();
}

std::unique_ptr<TimerEventService> makeThreadTimerService() { return std::make_unique<ThreadTimerService>(); }

CsimpleTimer::CsimpleTimer(TimerEventService* service) : service_(service) {
  if (!service_) {
    ownService_ = makeThreadTimerService();
    service_ = ownService_.get();
  }
}

CsimpleTimer::~CsimpleTimer() {
  Stop();
  ownService_.reset();
}

void CsimpleTimer::arm() {
  eventId_ = service_->setEvent(period_.load(), resolution_, [this](unsigned id) { Tick(id); });
}

void CsimpleTimer::Start(bool periodic, unsigned period) {
  period_ = period == 0 ? 1 : period;
  if (running_) return;
  nesting_ = 0;
  periodic_ = periodic;
  running_ = true;
  arm();
}

void CsimpleTimer::Stop() {
  running_ = false;
  // A tick running on the timer thread may arm one more event before it sees the flag; the
  // kill waits for that tick, so the loop catches what it armed.
  for (unsigned id = eventId_.exchange(0); id != 0; id = eventId_.exchange(0)) service_->killEvent(id);
}

void CsimpleTimer::Tick(unsigned id) {
  const int n = ++nesting_;
  if (n <= 1 && running_ && action) action(static_cast<int>(id), 0);
  if (periodic_ && running_) {
    if (n <= 1) {
      const unsigned old = eventId_.exchange(0);
      if (old != 0 && old != id) service_->killEvent(old);
      arm();
    }
    if (nesting_ > 0) --nesting_;
  } else {
    Stop();
  }
}

}  // namespace korvo
