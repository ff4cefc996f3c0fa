// The sender of the log's central copy: the log file from its cursor, and the spool (central_copy.h).
#include "msglog/central_copy.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "msglog/central_store.h"
#include "msglog/log_cursor.h"
#include "msglog/log_reader.h"

namespace {

constexpr auto kGathering = std::chrono::milliseconds(20);
// How long the program's end waits for a statement the server does not answer.
constexpr auto kStopWait = std::chrono::seconds(5);
// Rounds the cursor may stand still behind the log before a program that does not send it tells
// its user the server is away (the sender looks for other programs' entries once a round).
constexpr int kStalledRounds = 5;

// Adds the row a spool record makes (a record that makes none is left out).
void AddRow(const msglog::SpoolRecord& record, std::vector<msglog::CentralRow>& rows) {
  msglog::CentralRow row;
  if (msglog::RowFromRecord(record, row)) rows.push_back(std::move(row));
}

// Stores the rows in one statement; false with the server's reason when it did not commit.
bool StoreAll(msglog::CentralStore& store, const std::vector<msglog::CentralRow>& rows, std::string& failure) {
  if (rows.empty()) return true;
  const rt::DriverStatus status = store.Store(rows);
  if (status.Ok()) return true;
  failure = status.driverText.empty() ? status.text : status.driverText;
  return false;
}

}  // namespace

struct CentralCopy::Sender {
  Sender(Settings s, LogLossNotice& n) : settings(std::move(s)), notice(n), writer(settings.spoolPath),
                                          server(rt::pg::RedactConnection(settings.conninfo)) {}

  void Run();
  bool SendRound();  // true when nothing is left unsent
  bool HasSpooled() const;
  bool SendSpool(std::string& failure);
  bool SendHeld(msglog::HeldSpool& held, std::string& failure);
  // Opens the log at the cursor and finds how far it reaches; false when nothing is past it.
  bool LogPending(msglog::LogReader& reader, std::uint64_t& identity, std::uint64_t& synced);
  bool SendLog(msglog::LogReader& reader, std::uint64_t identity, std::uint64_t synced, std::string& failure);
  void Down(const std::string& reason);
  // While another program sends the log: the server's state judged from the cursor's progress.
  void WatchSender();
  bool IsStopping();

  const Settings settings;
  LogLossNotice& notice;
  msglog::SpoolWriter writer;
  msglog::EntryIds ids;
  const std::string server;  // the connection string without its password

  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false, pending = false;
  bool listening = false;  // the sender waits for entries: only then is a new one worth a wake-up
  std::uint64_t rounds = 0, sentRounds = 0;  // rounds finished, the last one that left nothing unsent
  std::condition_variable roundDone;
  bool finished = false;  // Run returned

  // The connection's socket while connected, for Stop to cut a hung statement short. The
  // sender clears it before it closes the connection, so Stop never touches a reused descriptor.
  std::mutex socketMutex;
  int socket = -1;

  // The sender thread's alone.
  msglog::CentralStore store;
  msglog::LogCursor cursor;
  msglog::LogReader reader;  // kept: its megabyte buffer is made once, not every round
  msglog::LogPosition position;  // the holder's: what the server has of the log
  bool positionKnown = false;
  std::vector<std::unique_ptr<msglog::HeldSpool>> held;  // taken, not yet committed: kept locked
  bool down = false;
  msglog::LogPosition watched;  // the cursor as last seen while another program sends
  std::chrono::steady_clock::time_point watchedSince;
  std::thread thread;
};

bool CentralCopy::Sender::IsStopping() {
  const std::lock_guard lock(mutex);
  return stopping;
}

void CentralCopy::Sender::Down(const std::string& reason) {
  {
    const std::lock_guard lock(socketMutex);
    socket = -1;
  }
  store.Disconnect();
  if (IsStopping()) return;  // cut short by the program's end: not the server's fault
  down = true;
  // libpq's messages run over lines; the notice is one line of a status bar.
  std::string line;
  for (const char c : reason) {
    const bool blank = c == '\n' || c == '\t' || c == '\r' || c == ' ';
    if (!blank) line.push_back(c);
    else if (!line.empty() && line.back() != ' ') line.push_back(' ');
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  notice.ReportServerDown(server, line);
}

// The sending program's user is told by its own sender; every other program's user learns it
// here: the cursor standing still behind the log's end for some rounds means the server takes
// nothing, and the cursor moving again that it is back.
void CentralCopy::Sender::WatchSender() {
  const msglog::LogPosition now = cursor.Read();
  struct stat info {};
  const bool behind = ::stat(settings.logPath.c_str(), &info) == 0 && static_cast<std::uint64_t>(info.st_size) > now.offset;
  const auto clock = std::chrono::steady_clock::now();
  const bool first = watchedSince == std::chrono::steady_clock::time_point{};
  if (first || !behind || now.offset != watched.offset || now.identity != watched.identity) {
    watched = now;
    watchedSince = clock;
    if (down) {
      down = false;
      notice.ReportServerBack(server);
    }
    return;
  }
  if (!down && clock - watchedSince >= settings.retry * kStalledRounds) {
    down = true;
    notice.ReportServerDown(server, "the program that sends this log has stored nothing on it for a while");
  }
}

bool CentralCopy::Sender::SendHeld(msglog::HeldSpool& spool, std::string& failure) {
  std::string bytes;
  if (const int error = spool.Read(bytes)) {
    failure = spool.Path() + ": " + std::strerror(error);
    return false;
  }
  // A torn record (a writer that died mid-write) is never sent in part: the decoder skips it.
  const msglog::SpoolContents contents = msglog::DecodeSpool(bytes);
  std::vector<msglog::CentralRow> rows;
  rows.reserve(contents.records.size());
  for (const msglog::SpoolRecord& record : contents.records) AddRow(record, rows);
  if (!StoreAll(store, rows, failure)) return false;
  // Removed only after the commit: a crash in between sends it again, and the ids keep it once.
  if (const int error = spool.Remove()) {
    failure = spool.Path() + ": " + std::strerror(error);
    return false;
  }
  return true;
}

bool CentralCopy::Sender::HasSpooled() const {
  struct stat info {};
  return !held.empty() || (::stat(settings.spoolPath.c_str(), &info) == 0 && info.st_size > 0);
}

bool CentralCopy::Sender::SendSpool(std::string& failure) {
  (void)msglog::TakeOrphans(settings.spoolPath, held);
  std::unique_ptr<msglog::HeldSpool> taken;
  (void)msglog::TakeSpool(settings.spoolPath, taken);
  if (taken) held.push_back(std::move(taken));
  while (!held.empty()) {
    if (!SendHeld(*held.front(), failure)) return false;
    held.erase(held.begin());
  }
  return true;
}

bool CentralCopy::Sender::LogPending(msglog::LogReader& reader, std::uint64_t& identity, std::uint64_t& synced) {
  if (!cursor.TryHold()) return false;  // another program's sender has the log
  if (!positionKnown) {
    position = cursor.Read();
    positionKnown = true;
  }
  const int fd = ::open(settings.logPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info {};
  identity = msglog::LogIdentity(fd);
  const bool read = identity != 0 && ::fstat(fd, &info) == 0;
  ::close(fd);
  if (!read) return false;
  const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
  if (identity != position.identity || size < position.offset) {
    // Replaced or emptied by an administrator: the new file from its start; the old is not read again.
    position = {identity, 0};
    (void)cursor.Write(position);
  }
  if (size == position.offset) return false;
  synced = size;
  if (reader.Open(settings.logPath, position.offset) != 0) return false;
  return msglog::LogIdentity(reader.Descriptor()) == identity;  // not replaced meanwhile
}

bool CentralCopy::Sender::SendLog(msglog::LogReader& reader, std::uint64_t identity, std::uint64_t synced,
                                  std::string& failure) {
  constexpr std::size_t kBatch = 1000;
  std::vector<msglog::CentralRow> rows;
  bool more = true;
  while (more) {
    rows.clear();
    std::uint64_t end = position.offset;
    msglog::EntryView view;
    while (rows.size() < kBatch) {
      if (reader.Next(view) != msglog::LogReader::Result::Entry || reader.Offset() > synced) {
        more = false;
        break;
      }
      end = reader.Offset();
      if (view.kind == msglog::EntryKind::Damaged) continue;  // never sent; the reader shows it
      std::string_view text = view.raw;
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
      // The writer's process is not in the file: 0 says so.
      const msglog::SpoolRecord record{msglog::LogEntryId(view.computer, identity, view.offset, text), settings.program, 0,
                                       std::string(text)};
      AddRow(record, rows);
    }
    if (!StoreAll(store, rows, failure)) return false;
    if (end == position.offset || IsStopping()) break;
    // After the commit: a crash in between sends the batch again, and the ids keep it once.
    position.offset = end;
    (void)cursor.Write(position);
  }
  return true;
}

bool CentralCopy::Sender::SendRound() {
  // On the disk before anything else, whatever becomes of the server.
  (void)msglog::SyncSpool(settings.spoolPath);
  if (!cursor.IsOpen()) {
    if (const int error = cursor.Open(settings.cursorPath)) {
      notice.ReportServerDown(server, settings.cursorPath + ": " + std::strerror(error));
      down = true;
    }
  }
  std::uint64_t identity = 0, synced = 0;
  const bool logPending = LogPending(reader, identity, synced);
  if (cursor.IsOpen() && !cursor.IsHeld()) WatchSender();
  if (!logPending && !HasSpooled()) return cursor.IsOpen();
  if (!store.IsConnected()) {
    const rt::DriverStatus status = store.Connect(settings.conninfo);
    if (!status.Ok()) {
      Down(status.driverText.empty() ? status.text : status.driverText);
      return false;
    }
    const std::lock_guard lock(socketMutex);
    socket = store.Socket();
  }
  // What the writers appended up to `synced` reaches the disk before the server is told of it:
  // the server never holds an entry a power cut could take from the file. Synced only now, so
  // that a server away costs the writers no sync.
  const bool durable = logPending && ::fdatasync(reader.Descriptor()) == 0;
  std::string failure;
  const bool sent = SendSpool(failure) && (!durable || SendLog(reader, identity, synced, failure));
  reader.Close();
  if (!sent) {
    Down(failure);
    return false;
  }
  if (down && cursor.IsOpen()) {
    down = false;
    notice.ReportServerBack(server);
  }
  return true;
}

void CentralCopy::Sender::Run() {
  // Background work: where the desk's cores are busy, the dialog threads go first.
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
  std::unique_lock lock(mutex);
  while (!stopping) {
    pending = false;
    lock.unlock();
    const bool sent = SendRound();
    lock.lock();
    ++rounds;
    if (sent && !pending) sentRounds = rounds;
    roundDone.notify_all();
    // Woken by a new entry; otherwise a look now and then for other programs' leftovers. While
    // the server is away, new entries wait for the next attempt rather than each trying anew.
    if (sent && !pending) {
      listening = true;
      wake.wait_for(lock, settings.retry, [this] { return stopping || pending; });
      listening = false;
    } else if (!sent) {
      wake.wait_for(lock, settings.retry, [this] { return stopping; });
    }
    // Entries come in bursts: a moment's gathering sends them in one statement.
    if (!stopping) wake.wait_for(lock, kGathering, [this] { return stopping; });
  }
  finished = true;
  roundDone.notify_all();
}

void CentralCopy::Start(Settings settings, LogLossNotice& notice) {
  const std::unique_lock lock(startMutex_);
  if (sender_) return;
  settings.conninfo = msglog::WithTimeouts(std::move(settings.conninfo));
  sender_ = std::make_unique<Sender>(std::move(settings), notice);
  sender_->thread = std::thread([sender = sender_.get()] { sender->Run(); });
}

void CentralCopy::Stop() {
  const std::unique_lock lock(startMutex_);
  if (!sender_) return;
  {
    const std::lock_guard guard(sender_->mutex);
    sender_->stopping = true;
  }
  sender_->wake.notify_all();
  {
    // A server that hangs mid-statement (keep-alives still answered) must not hold the exit.
    std::unique_lock guard(sender_->mutex);
    if (!sender_->roundDone.wait_for(guard, kStopWait, [this] { return sender_->finished; })) {
      const std::lock_guard socketGuard(sender_->socketMutex);
      if (sender_->socket >= 0) ::shutdown(sender_->socket, SHUT_RDWR);
    }
  }
  sender_->thread.join();
  sender_.reset();  // held spools are closed unsent: their locks go, the next sender takes them
}

bool CentralCopy::IsOn() const {
  const std::shared_lock lock(startMutex_);
  return sender_ != nullptr;
}

void CentralCopy::Wake() {
  const std::shared_lock lock(startMutex_);
  if (!sender_) return;
  bool wake = false;
  {
    const std::lock_guard guard(sender_->mutex);
    wake = sender_->listening && !sender_->pending;
    sender_->pending = true;
  }
  if (wake) sender_->wake.notify_one();
}

void CentralCopy::AddUnlogged(std::string_view entry) {
  {
    const std::shared_lock lock(startMutex_);
    if (!sender_) return;
    msglog::SpoolRecord record{sender_->ids.Next(), sender_->settings.program, ::getpid(), std::string(entry)};
    const int error = record.id.empty() ? EIO : sender_->writer.Append(msglog::EncodeSpoolRecord(record));
    if (error != 0) {
      sender_->notice.ReportLost(sender_->settings.spoolPath, std::string("the spool cannot be written: ") + std::strerror(error));
      return;
    }
  }
  Wake();
}

namespace {

// Whether the cursor at `cursorPath` covers the first `size` bytes of the file `identity` names.
bool Covers(const std::string& cursorPath, std::uint64_t identity, std::uint64_t size) {
  if (size == 0) return true;
  msglog::LogCursor cursor;
  if (cursor.Open(cursorPath) != 0) return false;
  const msglog::LogPosition at = cursor.Read();
  return at.identity == identity && at.offset >= size;
}

}  // namespace

bool CentralCopy::WaitSent(std::chrono::milliseconds timeout) {
  const std::shared_lock lock(startMutex_);
  if (!sender_) return false;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::uint64_t identity = 0, size = 0;
  if (const int fd = ::open(sender_->settings.logPath.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    struct stat info {};
    identity = msglog::LogIdentity(fd);
    if (::fstat(fd, &info) == 0) size = static_cast<std::uint64_t>(info.st_size);
    ::close(fd);
  }
  for (;;) {
    bool sent = false;
    {
      std::unique_lock guard(sender_->mutex);
      const std::uint64_t after = sender_->rounds;
      sender_->pending = true;  // a fresh round, so that what is written now is looked at
      sender_->wake.notify_one();
      sent = sender_->roundDone.wait_until(guard, deadline, [&] { return sender_->sentRounds > after; });
    }
    // Another program's sender may hold the log: its progress is in the cursor file.
    if (sent && Covers(sender_->settings.cursorPath, identity, size)) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

CentralCopy::CentralCopy() = default;
CentralCopy::~CentralCopy() { Stop(); }
