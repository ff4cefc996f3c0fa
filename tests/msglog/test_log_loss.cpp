// Entries that cannot be written (a missing directory; a size cap, in a child with its own
// session): the dialogs go on as before and the user is told once per session why.

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <string>
#include <vector>

#include "message_log_fixture.h"
#include "msglog/globals.h"
#include "msglog/log_reader.h"
#include "msglog/message_log.h"
#include "runtime/core/dialogs.h"

namespace {

class LogLossTest : public MessageLogTest {
 public:
  const std::filesystem::path& Log() const { return log_; }

  void SetUp() override {
    MessageLogTest::SetUp();
    GLO_MessageLogLoss.ResetSession();
  }
  void TearDown() override {
    GLO_MessageLogLoss.ResetSession();
    MessageLogTest::TearDown();
  }

 public:
  // In a child: a message answered NO and a stop the user goes on from, each still answered as
  // before; true when the observer heard exactly one notice naming `reason`, however many
  // entries were lost, and `lost` entries were.
  bool DialogsAnsweredAndToldOnce(const std::string& reason, std::uint64_t lost) {
    std::vector<std::string> heard;
    LogLossSubscription watch(GLO_MessageLogLoss, [&](const std::string& notice) { heard.push_back(notice); });
    dialogs_.Answer(rt::BUTTON_NO);
    const bool answered = rt::MessageBox("Save?", "Question", "", "6") == rt::BUTTON_NO;
    rt::Stop("Leaving");
    return answered && dialogs_.StopsShown().size() == 1 && heard.size() == 1 &&
           heard[0].find(reason) != std::string::npos && GLO_MessageLogLoss.LostEntries() == lost;
  }
};

TEST_F(LogLossTest, MissingDirectoryTellsOnceAndEveryLaterObserverAtOnce) {
  GLO_KESTROMSGLOG__NAME = (dir_ / "gone" / "Quibbet_.txt").string();
  std::vector<std::string> early, late;
  LogLossSubscription first(GLO_MessageLogLoss, [&](const std::string& notice) { early.push_back(notice); });
  dialogs_.Answer(rt::BUTTON_YES);
  EXPECT_EQ(rt::MessageBox("t", "c", "", "6"), rt::BUTTON_YES);
  rt::Stop("s");  // two more entries lost, nobody told again
  ASSERT_EQ(early.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(dir_ / "gone")) << "the writer makes no directory";
  EXPECT_EQ(early[0], "The message log is not being written: Path Not Found: No such file or directory (" +
                          (dir_ / "gone" / "Quibbet_.txt").string() + ")");
  EXPECT_EQ(GLO_MessageLogLoss.LostEntries(), 3u);

  LogLossSubscription second(GLO_MessageLogLoss, [&](const std::string& notice) { late.push_back(notice); });
  EXPECT_EQ(late, early) << "a frame that opens after the loss still hears of it";

  // Once the log can be written again the notice stays: entries were lost in this session.
  GLO_KESTROMSGLOG__NAME = log_.string();
  rt::MessageBox("written", "c");
  EXPECT_NE(LogText().find("MessageText=written"), std::string::npos);
  EXPECT_EQ(GLO_MessageLogLoss.LostEntries(), 3u);
  EXPECT_EQ(early.size(), 1u);
}

// The child's work: exit 0 when all went as it should.
int SizeCappedChild(LogLossTest& test, std::size_t cap) {
  std::signal(SIGXFSZ, SIG_IGN);  // the cap fails the write instead of killing the program
  const rlimit limit{cap, cap};
  if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
  const bool told = test.DialogsAnsweredAndToldOnce("File System Error", 3);
  // The piece the cap let through was taken back: the log holds whole entries only.
  msglog::LogReader reader;
  msglog::EntryView entry;
  int whole = 0;
  if (reader.Open(test.Log().string()) != 0) return 4;
  while (reader.Next(entry) == msglog::LogReader::Result::Entry)
    if (entry.kind != msglog::EntryKind::Damaged) ++whole;
  return told && whole == 1 && reader.PendingBytes() == 0 ? 0 : 1;
}

TEST_F(LogLossTest, SizeCappedFile) {
  KestroSaveMessLog_("\r\n  Previous STOP Ignored.");  // one whole entry before the cap
  const std::string before = LogText();
  EXPECT_EXIT(_exit(SizeCappedChild(*this, before.size() + 40)), ::testing::ExitedWithCode(0),
              "^Quibbet_demo: The message log is not being written: File System Error");
  EXPECT_EQ(LogText(), before);
}

}  // namespace
