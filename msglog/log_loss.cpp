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
    notice = NoticeLocked();
  }
  if (!notice.empty()) observer(notice);
  return id;
}

void LogLossNotice::Unsubscribe(int id) {
  std::lock_guard lock(mutex_);
  observers_.erase(id);
}

namespace {

void TellEverybody(const std::string& text, const std::vector<LogLossNotice::Observer>& observers) {
  // The audit trail fails: say so where someone may read it, even with no window open.
  std::fprintf(stderr, "Quibbet_demo: %s\n", text.c_str());
  for (const LogLossNotice::Observer& observer : observers) observer(text);
}

}  // namespace

void LogLossNotice::ReportLost(std::string_view path, std::string_view reason) {
  std::string text;
  std::vector<Observer> observers;
  {
    std::lock_guard lock(mutex_);
    if (lost_++ > 0) return;
    notice_ = "The message log is not being written: " + std::string(reason) + " (" + std::string(path) + ")";
    text = notice_;
    for (const auto& [id, observer] : observers_) observers.push_back(observer);
  }
  TellEverybody(text, observers);
}

void LogLossNotice::ReportServerDown(std::string_view server, std::string_view reason) {
  std::string text;
  std::vector<Observer> observers;
  {
    std::lock_guard lock(mutex_);
    if (serverDownTold_) return;
    serverDownTold_ = true;
    serverNotice_ = "The message log's server cannot be reached; entries wait on this computer: " +
                    std::string(reason) + " (" + std::string(server) + ")";
    text = serverNotice_;
    for (const auto& [id, observer] : observers_) observers.push_back(observer);
  }
  TellEverybody(text, observers);
}

void LogLossNotice::ReportServerBack(std::string_view server) {
  std::string text;
  std::vector<Observer> observers;
  {
    std::lock_guard lock(mutex_);
    if (!serverDownTold_ || serverBackTold_) return;
    serverBackTold_ = true;
    serverNotice_ = "The message log's server is back; the waiting entries were sent (" + std::string(server) + ")";
    text = serverNotice_;
    for (const auto& [id, observer] : observers_) observers.push_back(observer);
  }
  TellEverybody(text, observers);
}

std::string LogLossNotice::Notice() const {
  std::lock_guard lock(mutex_);
  return NoticeLocked();
}

std::string LogLossNotice::NoticeLocked() const {
  if (notice_.empty()) return serverNotice_;
  return serverNotice_.empty() ? notice_ : notice_ + " " + serverNotice_;
}

std::uint64_t LogLossNotice::LostEntries() const {
  std::lock_guard lock(mutex_);
  return lost_;
}

void LogLossNotice::ResetSession() {
  std::lock_guard lock(mutex_);
  notice_.clear();
  serverNotice_.clear();
  serverDownTold_ = serverBackTold_ = false;
  lost_ = 0;
}
