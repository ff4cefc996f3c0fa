#include "msglog/log_loss.h"

#include <cstdio>
#include <vector>

int LogLossNotice::Subscribe(Observer observer) {
  std::string notice;
  int id = 0;
  {
    std::lock_guard lock(mutex_);
    id = nextId_++;
    observers_.emplace(id, observer);
    notice = notice_;
  }
  if (!notice.empty()) observer(notice);
  return id;
}

void LogLossNotice::Unsubscribe(int id) {
  std::lock_guard lock(mutex_);
  observers_.erase(id);
}

void LogLossNotice::ReportLost(std::string_view path, std::string_view reason) {
  std::string notice;
  std::vector<Observer> observers;
  {
    std::lock_guard lock(mutex_);
    if (lost_++ > 0) return;
    notice_ = "The message log is not being written: " + std::string(reason) + " (" + std::string(path) + ")";
    notice = notice_;
    for (const auto& [id, observer] : observers_) observers.push_back(observer);
  }
  // The audit trail fails: say so where someone may read it, even with no window open.
  std::fprintf(stderr, "Quibbet_demo: %s\n", notice.c_str());
  for (const Observer& observer : observers) observer(notice);
}

std::string LogLossNotice::Notice() const {
  std::lock_guard lock(mutex_);
  return notice_;
}

std::uint64_t LogLossNotice::LostEntries() const {
  std::lock_guard lock(mutex_);
  return lost_;
}

void LogLossNotice::ResetSession() {
  std::lock_guard lock(mutex_);
  notice_.clear();
  lost_ = 0;
}
