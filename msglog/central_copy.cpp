// The spool-and-send path of the log's central copy (central_copy.h).
#include "msglog/central_copy.h"

#include <unistd.h>

#include <cstring>

#include "msglog/central_store.h"

namespace {

constexpr auto kGathering = std::chrono::milliseconds(20);

}  // namespace

struct CentralCopy::Sender {
  Sender(Settings s, LogLossNotice& n) : settings(std::move(s)), notice(n), writer(settings.spoolPath),
                                          server(rt::pg::RedactConnection(settings.conninfo)) {}

  void Run();
  bool SendRound();  // true when nothing is left unsent
  bool SendHeld(msglog::HeldSpool& held, std::string& failure);
  void Down(const std::string& reason);

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

  // The sender thread's alone.
  msglog::CentralStore store;
  std::vector<std::unique_ptr<msglog::HeldSpool>> held;  // taken, not yet committed: kept locked
  bool down = false;
  std::thread thread;
};

void CentralCopy::Sender::Down(const std::string& reason) {
  store.Disconnect();
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
  for (const msglog::SpoolRecord& record : contents.records) {
    msglog::CentralRow row;
    if (msglog::RowFromRecord(record, row)) rows.push_back(std::move(row));
  }
  if (!rows.empty()) {
    const rt::DriverStatus status = store.Store(rows);
    if (!status.Ok()) {
      failure = status.driverText.empty() ? status.text : status.driverText;
      return false;
    }
  }
  // Removed only after the commit: a crash in between sends it again, and the ids keep it once.
  if (const int error = spool.Remove()) {
    failure = spool.Path() + ": " + std::strerror(error);
    return false;
  }
  return true;
}

bool CentralCopy::Sender::SendRound() {
  // On the disk before anything else, whatever becomes of the server.
  (void)msglog::SyncSpool(settings.spoolPath);
  if (!store.IsConnected()) {
    const rt::DriverStatus status = store.Connect(settings.conninfo);
    if (!status.Ok()) {
      Down(status.driverText.empty() ? status.text : status.driverText);
      return false;
    }
  }
  // Taken only while the server answers, so that an outage leaves one spool, not a file a round.
  (void)msglog::TakeOrphans(settings.spoolPath, held);
  std::unique_ptr<msglog::HeldSpool> taken;
  (void)msglog::TakeSpool(settings.spoolPath, taken);
  if (taken) held.push_back(std::move(taken));
  while (!held.empty()) {
    std::string failure;
    if (!SendHeld(*held.front(), failure)) {
      Down(failure);
      return false;
    }
    held.erase(held.begin());
  }
  if (down) {
    down = false;
    notice.ReportServerBack(server);
  }
  return true;
}

void CentralCopy::Sender::Run() {
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
    // Entries come in bursts: a moment's gathering sends them in one transaction.
    if (!stopping) wake.wait_for(lock, kGathering, [this] { return stopping; });
  }
}

namespace {

// Without a time-out of its own, a connection to a host that does not answer would wait for the
// system's (minutes), and the program's end waits for the sender.
std::string WithConnectTimeout(std::string conninfo) {
  if (conninfo.find("connect_timeout") != std::string::npos) return conninfo;
  if (conninfo.rfind("postgresql://", 0) == 0 || conninfo.rfind("postgres://", 0) == 0)
    return conninfo + (conninfo.find('?') == std::string::npos ? "?" : "&") + "connect_timeout=10";
  return conninfo + " connect_timeout=10";
}

}  // namespace

void CentralCopy::Start(Settings settings, LogLossNotice& notice) {
  const std::unique_lock lock(startMutex_);
  if (sender_) return;
  settings.conninfo = WithConnectTimeout(std::move(settings.conninfo));
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
  sender_->thread.join();
  sender_.reset();  // held spools are closed unsent: their locks go, the next sender takes them
}

bool CentralCopy::IsOn() const {
  const std::shared_lock lock(startMutex_);
  return sender_ != nullptr;
}

void CentralCopy::Add(std::string_view entry) {
  const std::shared_lock lock(startMutex_);
  if (!sender_) return;
  msglog::SpoolRecord record{sender_->ids.Next(), sender_->settings.program, ::getpid(), std::string(entry)};
  const int error = record.id.empty() ? EIO : sender_->writer.Append(msglog::EncodeSpoolRecord(record));
  if (error != 0) {
    sender_->notice.ReportLost(sender_->settings.spoolPath, std::string("the spool cannot be written: ") + std::strerror(error));
    return;
  }
  bool wake = false;
  {
    const std::lock_guard guard(sender_->mutex);
    wake = sender_->listening && !sender_->pending;
    sender_->pending = true;
  }
  if (wake) sender_->wake.notify_one();
}

bool CentralCopy::WaitSent(std::chrono::milliseconds timeout) {
  const std::shared_lock lock(startMutex_);
  if (!sender_) return false;
  std::unique_lock guard(sender_->mutex);
  const std::uint64_t after = sender_->rounds;
  sender_->pending = true;  // a fresh round, so that what is spooled now is looked at
  sender_->wake.notify_one();
  return sender_->roundDone.wait_for(guard, timeout, [&] { return sender_->sentRounds > after; });
}

CentralCopy::CentralCopy() = default;
CentralCopy::~CentralCopy() { Stop(); }
