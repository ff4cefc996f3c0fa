#pragma once
// What a log window lists from: entries newest first, narrowed by a filter, read by a worker of
// the source's own so that the window's thread never waits for a file or a server. The file's
// catalog (log_catalog.h) and the log server's (server_catalog.h) implement it. Owns nothing;
// the window owns the source it chose.

#include <cstddef>
#include <functional>
#include <string>

#include "msglog/log_entry.h"
#include "msglog/log_filter.h"

namespace msglog {

class LogSource {
 public:
  // Called on a worker thread when rows, the progress or the problem changed; it must only post.
  using Changed = std::function<void()>;

  virtual ~LogSource() = default;

  // ---- Filter and stop (the owner's thread) ----
  // Narrows (or widens) the rows; the worker reads again.
  virtual void SetFilter(LogFilter filter) = 0;
  // Stops the worker and waits for it; the rows found stay.
  virtual void Stop() = 0;

  // ---- Rows and state (the owner's thread) ----
  virtual std::size_t RowCount() const = 0;
  // Row 1 is the newest entry kept. Null past the rows. Valid until the next call.
  virtual const LogEntry* Row(std::size_t row) const = 0;
  // Every row the filter keeps is there, not only the first ones.
  virtual bool IsComplete() const = 0;
  virtual int Progress() const = 0;  // percent read, 100 once complete
  // What the user should know about the rows shown ("" when nothing): a log that cannot be read,
  // a server that cannot be reached.
  virtual std::string Problem() const = 0;
};

}  // namespace msglog
