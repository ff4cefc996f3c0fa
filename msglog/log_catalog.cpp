#include "msglog/log_catalog.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "msglog/log_reader.h"

namespace msglog {

namespace {

// How long the worker waits before it looks for appended entries or a log that appears.
constexpr std::chrono::milliseconds kFollowInterval{250};
// Positions published at once while reading: a progress step costs one lock and one post.
constexpr std::size_t kPublishBatch = 1u << 14;
// Entries kept read; a page needs a few dozen.
constexpr std::size_t kCacheLimit = 512;

bool SameFile(int fd, const std::string& path, std::uint64_t readUpTo) {
  struct stat open {}, named {};
  if (::fstat(fd, &open) != 0 || ::stat(path.c_str(), &named) != 0) return false;
  // Replaced (another file under the name) or emptied and begun again.
  return open.st_dev == named.st_dev && open.st_ino == named.st_ino &&
         static_cast<std::uint64_t>(named.st_size) >= readUpTo;
}

}  // namespace

void LogCatalog::Open(std::string path, LogFilter filter, Changed changed) {
  Stop();
  path_ = std::move(path);
  filter_ = std::move(filter);
  changed_ = std::move(changed);
  lastEntries_.clear();
  // A missing log reads as empty; the worker waits for it.
  ReadLastEntries(path_, kFirstEntries, lastEntries_);
  Start();
}

void LogCatalog::SetFilter(LogFilter filter) {
  if (filter == filter_ && worker_.joinable()) return;
  Stop();
  filter_ = std::move(filter);
  Start();
}

void LogCatalog::Start() {
  firstPage_.clear();
  for (std::size_t i = lastEntries_.size(); i-- > 0;)
    if (filter_.Accepts(lastEntries_[i].View())) firstPage_.push_back(i);
  {
    std::lock_guard lock(mutex_);
    positions_.clear();
  }
  cache_.clear();
  complete_ = false;
  error_ = 0;
  bytesDone_ = 0;
  bytesTotal_ = 0;
  worker_ = std::jthread([this](std::stop_token stop) { Work(stop); });
}

void LogCatalog::Stop() {
  if (!worker_.joinable()) return;
  worker_.request_stop();
  wake_.notify_all();
  worker_.join();
  worker_ = std::jthread();
}

std::size_t LogCatalog::RowCount() const {
  if (!complete_) return firstPage_.size();
  std::lock_guard lock(mutex_);
  return positions_.size();
}

const LogEntry* LogCatalog::Row(std::size_t row) const {
  if (row == 0) return nullptr;
  if (!complete_) return row <= firstPage_.size() ? &lastEntries_[firstPage_[row - 1]] : nullptr;
  EntryPosition position;
  {
    std::lock_guard lock(mutex_);
    if (row > positions_.size()) return nullptr;
    position = positions_[positions_.size() - row];
    if (cacheGeneration_ != generation_) {
      cache_.clear();
      cacheGeneration_ = generation_;
    }
  }
  if (const auto found = cache_.find(position.offset); found != cache_.end()) return &found->second;
  if (cache_.size() >= kCacheLimit) cache_.clear();
  LogEntry entry;
  if (ReadEntryAt(path_, position, entry) != 0) {
    unreadable_ = LogEntry{};
    unreadable_.damage = "the entry could not be read again";
    return &unreadable_;
  }
  return &cache_.emplace(position.offset, std::move(entry)).first->second;
}

int LogCatalog::Progress() const {
  if (complete_) return 100;
  const std::uint64_t total = bytesTotal_.load();
  if (total == 0) return 0;
  return static_cast<int>(std::min<std::uint64_t>(99, bytesDone_.load() * 100 / total));
}

std::string LogCatalog::Problem() const {
  const int error = error_.load();
  return error == 0 ? std::string() : "The log cannot be read: " + std::string(std::strerror(error));
}

void LogCatalog::Publish(std::vector<EntryPosition>& found, bool notify) {
  if (!found.empty()) {
    std::lock_guard lock(mutex_);
    positions_.insert(positions_.end(), found.begin(), found.end());
  }
  found.clear();
  if (notify && changed_) changed_();
}

void LogCatalog::Work(std::stop_token stop) {
  std::mutex sleepMutex;
  auto pause = [&] {
    std::unique_lock lock(sleepMutex);
    wake_.wait_for(lock, stop, kFollowInterval, [] { return false; });
    return !stop.stop_requested();
  };
  LogReader reader;
  std::vector<EntryPosition> found;
  while (!stop.stop_requested()) {
    if (!reader.IsOpen()) {
      const int error = reader.Open(path_);
      if (error != 0) {
        if (error != ENOENT) error_ = error;
        if (!complete_.exchange(true)) Publish(found, true);  // nothing to read yet: the rows are known
        if (!pause()) return;
        continue;
      }
      struct stat status {};
      if (::fstat(reader.Descriptor(), &status) == 0) bytesTotal_ = static_cast<std::uint64_t>(status.st_size);
    }
    EntryView entry;
    const LogReader::Result result = reader.Next(entry);
    if (result == LogReader::Result::Entry) {
      if (filter_.Accepts(entry)) found.push_back({entry.offset, entry.line});
      if (found.size() >= kPublishBatch) {
        bytesDone_ = reader.Offset();
        // Before the whole log is read only the progress shows; the rows wait for the end.
        Publish(found, true);
      }
      continue;
    }
    if (result == LogReader::Result::Error) {
      error_ = reader.LastError();
      complete_ = true;
      Publish(found, true);
      return;
    }
    // The end for now: every row is known; then follow what is appended.
    bytesDone_ = reader.Offset();
    const bool notify = !found.empty() || !complete_;
    Publish(found, false);
    complete_ = true;
    if (notify && changed_) changed_();
    if (!pause()) return;
    if (!SameFile(reader.Descriptor(), path_, reader.Offset())) {
      // A new log under the name: read it from its start.
      reader.Close();
      {
        std::lock_guard lock(mutex_);
        positions_.clear();
        ++generation_;
      }
      Publish(found, true);
    }
  }
}

}  // namespace msglog
