#pragma once
// Telling the user that the message log is not being written. The writer reports every entry it
// could not write; the first report of a session writes one line on standard error and tells
// the observers (the frame's status bar), later ones only count. The central copy's sender
// reports the log server lost and back: each is told once per session, the same way. Owns the
// notices, the count and the observer list; knows no window: observers decide how to show them.

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

class LogLossNotice {
 public:
  // Called on the thread whose entry was lost, outside any lock of this class.
  using Observer = std::function<void(const std::string& notice)>;

  // ---- Observers ----
  // Adds `observer`; it is called at once when an entry was already lost. Returns its id.
  int Subscribe(Observer observer);
  void Unsubscribe(int id);

  // ---- Reports (the writer) ----
  // An entry for `path` was not written because of `reason`.
  void ReportLost(std::string_view path, std::string_view reason);
  // The log server (its connection string without the password) cannot take entries; they wait
  // in the spool.
  void ReportServerDown(std::string_view server, std::string_view reason);
  // It took them again after a reported loss.
  void ReportServerBack(std::string_view server);

  // ---- Query state ----
  std::string Notice() const;  // what was told: "" while nothing was
  std::uint64_t LostEntries() const;

  // ---- Test support ----
  void ResetSession();  // forgets the loss, as in a new session; observers stay

 private:
  std::string NoticeLocked() const;

  mutable std::mutex mutex_;
  std::string notice_;
  std::string serverNotice_;
  bool serverDownTold_ = false, serverBackTold_ = false;
  std::uint64_t lost_ = 0;
  std::map<int, Observer> observers_;
  int nextId_ = 1;
};

// An observer for the lifetime of its owner.
class LogLossSubscription {
 public:
  LogLossSubscription(LogLossNotice& notice, LogLossNotice::Observer observer)
      : notice_(notice), id_(notice.Subscribe(std::move(observer))) {}
  ~LogLossSubscription() { notice_.Unsubscribe(id_); }
  LogLossSubscription(const LogLossSubscription&) = delete;
  LogLossSubscription& operator=(const LogLossSubscription&) = delete;

 private:
  LogLossNotice& notice_;
  int id_;
};
