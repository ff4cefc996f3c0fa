#include "msglog/log_index.h"

#include <sys/stat.h>

#include <cerrno>

#include "msglog/log_reader.h"

namespace msglog {

void LogIndex::Start(const std::string& path) {
  Stop();
  {
    std::lock_guard lock(mutex_);
    positions_.clear();
  }
  done_ = false;
  error_ = 0;
  bytesDone_ = 0;
  bytesTotal_ = 0;
  worker_ = std::jthread([this, path](std::stop_token stop) { Build(stop, path); });
}

void LogIndex::Stop() {
  if (worker_.joinable()) {
    worker_.request_stop();
    worker_.join();
  }
}

std::size_t LogIndex::EntryCount() const {
  std::lock_guard lock(mutex_);
  return positions_.size();
}

bool LogIndex::PositionOf(std::size_t index, EntryPosition& position) const {
  std::lock_guard lock(mutex_);
  if (index >= positions_.size()) return false;
  position = positions_[index];
  return true;
}

void LogIndex::Build(std::stop_token stop, std::string path) {
  LogReader reader;
  if (const int error = reader.Open(path)) {
    error_ = error;
    done_ = true;
    return;
  }
  struct stat st {};
  if (::fstat(reader.Descriptor(), &st) == 0) bytesTotal_ = static_cast<std::uint64_t>(st.st_size);
  // Positions go to the shared list in batches, so readers of the index rarely wait.
  std::vector<EntryPosition> batch;
  auto flush = [&] {
    std::lock_guard lock(mutex_);
    positions_.insert(positions_.end(), batch.begin(), batch.end());
    batch.clear();
  };
  EntryView entry;
  while (!stop.stop_requested() && reader.Offset() < bytesTotal_) {
    const LogReader::Result result = reader.Next(entry);
    if (result == LogReader::Result::Error) error_ = reader.LastError();
    if (result != LogReader::Result::Entry) break;
    batch.push_back({entry.offset, entry.line});
    if (batch.size() == 4096) {
      flush();
      bytesDone_ = reader.Offset();
    }
  }
  flush();
  bytesDone_ = reader.Offset();
  done_ = true;
}

int ReadEntryAt(const std::string& path, const EntryPosition& position, LogEntry& entry) {
  LogReader reader;
  if (const int error = reader.Open(path, position.offset, position.line)) return error;
  EntryView view;
  const LogReader::Result result = reader.Next(view);
  if (result == LogReader::Result::Error) return reader.LastError();
  if (result != LogReader::Result::Entry) return ENOENT;
  entry = LogEntry::From(view);
  return 0;
}

}  // namespace msglog
