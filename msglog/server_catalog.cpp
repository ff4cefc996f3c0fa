// The log server's entries for the log window (server_catalog.h).
#include "msglog/server_catalog.h"

#include <algorithm>
#include <chrono>

#include "runtime/data/pg_connection.h"

namespace msglog {

namespace {

// How long the worker waits before it asks for rows that arrived, or tries a lost server again.
constexpr std::chrono::seconds kFollowInterval{2};
constexpr std::int64_t kPage = 500;

// Newest first: by moment, then by arrival (an entry's line is its seq).
bool Newer(const LogEntry& a, const LogEntry& b) {
  const std::int64_t ka = a.moment.Key(), kb = b.moment.Key();
  return ka != kb ? ka > kb : a.line > b.line;
}

// The driver's text never holds the password.
std::string Reason(const rt::DriverStatus& status) {
  return status.driverText.empty() ? status.text : status.driverText;
}

}  // namespace

void ServerLogCatalog::Open(std::string conninfo, std::string filePath, LogFilter filter, Changed changed) {
  Stop();
  conninfo_ = WithTimeouts(std::move(conninfo));
  filePath_ = std::move(filePath);
  filter_ = std::move(filter);
  changed_ = std::move(changed);
  store_.Disconnect();
  fellBack_ = false;
  Start();
}

void ServerLogCatalog::SetFilter(LogFilter filter) {
  if (fellBack_) {
    filter_ = filter;
    file_.SetFilter(std::move(filter));
    return;
  }
  if (filter == filter_ && worker_.joinable()) return;
  Stop();
  filter_ = std::move(filter);
  Start();
}

void ServerLogCatalog::Start() {
  rows_.clear();
  {
    std::lock_guard lock(mutex_);
    pending_.clear();
    problem_.clear();
  }
  complete_ = false;
  limited_ = false;
  scanned_ = 0;
  total_ = 0;
  worker_ = std::jthread([this](std::stop_token stop) { Work(stop); });
}

void ServerLogCatalog::Stop() {
  if (worker_.joinable()) {
    worker_.request_stop();
    wake_.notify_all();
    worker_.join();
    worker_ = std::jthread();
  }
  file_.Stop();
}

void ServerLogCatalog::SetProblem(std::string problem) {
  {
    std::lock_guard lock(mutex_);
    if (problem_ == problem) return;
    problem_ = std::move(problem);
  }
  if (changed_) changed_();
}

void ServerLogCatalog::Publish(std::vector<LogEntry>& rows) {
  {
    std::lock_guard lock(mutex_);
    std::move(rows.begin(), rows.end(), std::back_inserter(pending_));
  }
  rows.clear();
  if (changed_) changed_();
}

void ServerLogCatalog::Work(std::stop_token stop) {
  std::mutex sleepMutex;
  auto pause = [&] {
    std::unique_lock lock(sleepMutex);
    wake_.wait_for(lock, stop, kFollowInterval, [] { return false; });
    return !stop.stop_requested();
  };
  std::vector<LogEntry> found;
  auto keep = [&](const CentralRow& row) {
    LogEntry entry = row.entry;
    entry.line = static_cast<std::uint64_t>(row.seq);
    if (filter_.Accepts(entry.View())) found.push_back(std::move(entry));
  };
  bool reached = false;       // the table was read once
  std::int64_t top = -1;      // rows up to this seq are read newest first, later ones as they come
  CentralKey before;          // where the newest-first reading goes on
  std::size_t kept = 0;
  while (!stop.stop_requested()) {
    rt::DriverStatus status;
    if (!store_.IsConnected()) status = store_.Connect(conninfo_);
    if (status.Ok() && top < 0) {
      std::int64_t last = 0;
      status = store_.LastSeq(last);
      if (status.Ok()) top = last, total_ = last, reached = true;
    }
    // Pages newest first until the table's start or the row limit, then the rows that arrive.
    while (status.Ok() && !complete_ && !stop.stop_requested()) {
      std::int64_t count = 0;
      status = store_.ReadNewest(top, before, kPage, [&](const CentralRow& row) {
        before = {static_cast<double>(row.epoch), row.seq};
        ++scanned_;
        keep(row);
      }, count);
      kept += found.size();
      Publish(found);
      if (status.Ok() && (count < kPage || kept >= kRowLimit)) {
        limited_ = count == kPage;
        complete_ = true;
        if (changed_) changed_();
      }
    }
    if (status.Ok() && complete_) {
      status = store_.Read([&](const CentralRow& row) {
        top = row.seq;
        keep(row);
      }, top);
      if (!found.empty()) Publish(found);
    }
    if (!status.Ok() && !reached) {
      // Nothing from the server yet: the file beside the program rather than an empty window.
      SetProblem("The log server cannot be reached (" + Reason(status) + "); the log file is shown");
      file_.Open(filePath_, filter_, changed_);
      fellBack_ = true;
      if (changed_) changed_();
      return;
    }
    if (!status.Ok()) {
      store_.Disconnect();
      SetProblem("The log server is not answering (" + Reason(status) + "); the entries read are shown");
    } else {
      SetProblem({});
    }
    if (!pause()) return;
  }
}

std::size_t ServerLogCatalog::RowCount() const {
  if (fellBack_) return file_.RowCount();
  std::vector<LogEntry> taken;
  {
    std::lock_guard lock(mutex_);
    taken.swap(pending_);
  }
  // Pages come older than every row; rows that arrive go where their moment puts them.
  for (LogEntry& entry : taken)
    rows_.insert(std::upper_bound(rows_.begin(), rows_.end(), entry, Newer), std::move(entry));
  return rows_.size();
}

const LogEntry* ServerLogCatalog::Row(std::size_t row) const {
  if (fellBack_) return file_.Row(row);
  return row == 0 || row > rows_.size() ? nullptr : &rows_[row - 1];
}

bool ServerLogCatalog::IsComplete() const { return fellBack_ ? file_.IsComplete() : complete_.load(); }

int ServerLogCatalog::Progress() const {
  if (fellBack_) return file_.Progress();
  if (complete_) return 100;
  const std::int64_t total = std::min<std::int64_t>(total_.load(), kRowLimit);
  return total <= 0 ? 0 : static_cast<int>(std::min<std::int64_t>(99, scanned_.load() * 100 / total));
}

std::string ServerLogCatalog::Problem() const {
  std::string problem;
  {
    std::lock_guard lock(mutex_);
    problem = problem_;
  }
  if (fellBack_) {
    const std::string file = file_.Problem();
    if (!file.empty()) problem += "; " + file;
  } else if (limited_) {
    problem += std::string(problem.empty() ? "Only" : "; only") + " the newest " + std::to_string(kRowLimit) +
               " matching entries are read (quibbet_log --server reads them all)";
  }
  return problem;
}

}  // namespace msglog
