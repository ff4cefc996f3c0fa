// The central copy's spool without a server: records of any bytes, torn and garbled ones skipped,
// and the file protocol between appenders and senders.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "msglog/central_spool.h"
#include "tests/support/files.h"

using namespace msglog;
using namespace std::string_literals;

namespace {

SpoolRecord Record(int n, std::string entry) {
  return {NewEntryId(), "/opt/quibbet/demo", 1000 + n, std::move(entry)};
}

std::string ReadAllOf(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(CentralSpool, RecordsSurviveAnyBytesAndTornOrGarbledOnesAreSkippedWhole) {
  const std::vector<SpoolRecord> records = {
      Record(1, "Dec 06, 2026 09:04:05 USER:ann  ComputerName:PC \r\n  MESSAGE:"),
      Record(2, "NUL\0inside, the magic QSR1 inside, \xFF\xFE bad UTF-8, \r\n\n line ends"s),
      Record(3, ""),
  };
  std::string bytes;
  for (const SpoolRecord& r : records) bytes += EncodeSpoolRecord(r);

  // 1.1 every byte comes back, fields apart
  SpoolContents all = DecodeSpool(bytes);
  ASSERT_EQ(all.records.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const SpoolRecord &got = all.records[i], &want = records[i];
    EXPECT_EQ(got.id + "|" + got.program + "|" + std::to_string(got.process) + "|" + got.entry,
              want.id + "|" + want.program + "|" + std::to_string(want.process) + "|" + want.entry);
  }
  EXPECT_EQ(all.damagedBytes, 0u);

  // 1.2 the last record cut at every length (a writer killed mid-write): never sent half
  const std::size_t lastStart = bytes.size() - EncodeSpoolRecord(records[2]).size();
  for (std::size_t cut = lastStart + 1; cut < bytes.size(); ++cut) {
    const SpoolContents torn = DecodeSpool(std::string_view(bytes).substr(0, cut));
    ASSERT_EQ(torn.records.size(), 2u) << "cut at " << cut;
    EXPECT_EQ(torn.damagedBytes, cut - lastStart);
  }

  // 1.3 a torn record followed by later appends: the later ones are still found
  const std::size_t secondStart = EncodeSpoolRecord(records[0]).size();
  const std::string tornThenMore = bytes.substr(0, secondStart + 20) + EncodeSpoolRecord(records[2]);
  const SpoolContents resynced = DecodeSpool(tornThenMore);
  ASSERT_EQ(resynced.records.size(), 2u);
  EXPECT_EQ(resynced.records[1].id, records[2].id);
  EXPECT_EQ(resynced.damagedBytes, 20u);

  // 1.4 one changed byte inside a payload spoils that record only (the checksum)
  std::string garbled = bytes;
  garbled[secondStart + 30] ^= 0x01;
  const SpoolContents checked = DecodeSpool(garbled);
  ASSERT_EQ(checked.records.size(), 2u);
  EXPECT_EQ(checked.records[0].id, records[0].id);
  EXPECT_EQ(checked.records[1].id, records[2].id);

}

TEST(CentralSpool, SendersTakeTheSpoolAwayAndAppendersFollowTheName) {
  TempDir dir;
  const std::string spool = (dir / "Quibbet_.spool").string();
  SpoolWriter programA(spool), programB(spool);

  // 2.1 nothing to take while the spool is missing or empty
  std::unique_ptr<HeldSpool> held;
  EXPECT_EQ(TakeSpool(spool, held), 0);
  EXPECT_FALSE(held);

  // 2.2 two programs append; a sender takes both records and the name is free again
  ASSERT_EQ(programA.Append(EncodeSpoolRecord(Record(1, "a1"))), 0);
  ASSERT_EQ(programB.Append(EncodeSpoolRecord(Record(2, "b1"))), 0);
  ASSERT_EQ(TakeSpool(spool, held), 0);
  ASSERT_TRUE(held);
  EXPECT_FALSE(std::filesystem::exists(spool));

  // 2.3 appends after the take go to a new spool, never into the file being sent
  ASSERT_EQ(programA.Append(EncodeSpoolRecord(Record(3, "a2"))), 0);
  std::string sending;
  ASSERT_EQ(held->Read(sending), 0);
  const SpoolContents taken = DecodeSpool(sending);
  ASSERT_EQ(taken.records.size(), 2u);
  EXPECT_EQ(taken.records[0].entry, "a1");
  EXPECT_EQ(taken.records[1].entry, "b1");
  EXPECT_EQ(DecodeSpool(ReadAllOf(spool)).records.size(), 1u);

  // 2.4 a live sender's file is not an orphan; once its sender is gone (lock freed), it is
  std::vector<std::unique_ptr<HeldSpool>> orphans;
  ASSERT_EQ(TakeOrphans(spool, orphans), 0);
  EXPECT_TRUE(orphans.empty());
  const std::string sendingPath = held->Path();
  held.reset();  // the sender died before the server's commit
  ASSERT_EQ(TakeOrphans(spool, orphans), 0);
  ASSERT_EQ(orphans.size(), 1u);
  EXPECT_EQ(orphans[0]->Path(), sendingPath);

  // 2.5 removed after the commit
  ASSERT_EQ(orphans[0]->Remove(), 0);
  EXPECT_FALSE(std::filesystem::exists(sendingPath));
}
