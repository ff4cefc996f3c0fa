// Queue: a model-checked run of mixed operations against a std::vector (keyed adds after their
// equals, keyed gets of the first equal by search or scan, misses, puts, deletes, sorts); then
// what the model does not reach: descending fields, positions and their bounds, Put by key,
// stable and descending sorts, keys outside the buffer, thousands of records across chunks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/data/queue.h"

namespace {

struct Row {
  rt::Long id = 0;
  rt::FixedString<8> name;
  rt::Real amount = 0;
};

class QueueTest : public ::testing::Test {
 protected:
  void AddKeyed(rt::Long id, const char* name) {
    buf.id = id;
    buf.name = name;
    q.Add({buf.name});
  }
  // "name/id" of every record, in queue order.
  std::vector<std::string> Contents() {
    std::vector<std::string> out;
    for (rt::Long i = 1; i <= q.Records(); ++i) {
      q.Get(i);
      out.push_back(buf.name.Str() + "/" + std::to_string(buf.id));
    }
    return out;
  }
  Row buf;
  rt::Queue q{buf};
};

using Names = std::vector<std::string>;

// Positions: both ends of 1..Records() and one past each; Add at a position.
TEST_F(QueueTest, PositionsAreOneBasedWithBoundsChecked) {
  for (rt::Long id : {10, 20, 30}) {
    buf.id = id;
    q.Add();
  }
  struct Case {
    int position;
    rt::Long error, id;
  };
  for (const Case c : {Case{0, rt::NoRecErr, -1}, {1, 0, 10}, {3, 0, 30}, {4, rt::NoRecErr, -1}, {-1, rt::NoRecErr, -1}}) {
    buf.id = -1;
    q.Get(c.position);
    EXPECT_EQ(rt::ErrorCode(), c.error) << c.position;
    EXPECT_EQ(buf.id, c.id) << c.position;
  }
  buf.id = 5;
  q.Add(1);
  buf.id = 25;
  q.Add(4);
  buf.id = 99;
  q.Add(100);  // past the end appends
  EXPECT_EQ(q.Pointer(), 6);
  q.Add(0);
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
  EXPECT_EQ(Contents(), (Names{"/5", "/10", "/20", "/25", "/30", "/99"})) << "Add(0) added nothing";
  for (const int outside : {0, 7, -1}) {
    q.Delete(outside);
    EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << outside;
  }
  EXPECT_EQ(q.Records(), 6) << "a delete outside the queue deleted nothing";
}

// Put(key) moves the current record; Delete leaves none current.
TEST_F(QueueTest, PutDeleteAndTheCurrentRecord) {
  for (auto [id, name] : {std::pair{1, "a"}, {2, "b"}, {3, "c"}}) AddKeyed(id, name);
  q.Get(1);
  buf.name = "d";  // a moves past c
  q.Put({buf.name});
  EXPECT_EQ(q.Pointer(), 3);
  EXPECT_EQ(Contents(), (Names{"b/2", "c/3", "d/1"}));

  q.Get(2);
  q.Delete();
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(q.Pointer(), 0);
  q.Delete();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << "nothing is current after a delete";
  q.Put();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
  EXPECT_EQ(Contents(), (Names{"b/2", "d/1"}));
}

// Sort is stable and makes later keyed gets use the order; a keyed add mixes directions.
TEST_F(QueueTest, SortIsStableAndDescendingWorks) {
  for (auto [id, name] : {std::pair{1, "b"}, {2, "a"}, {3, "b"}, {4, "a"}}) {
    buf.id = id;
    buf.name = name;
    q.Add({buf.name, rt::Descending(buf.id)});  // name ascending, id descending within a name
  }
  EXPECT_EQ(Contents(), (Names{"a/4", "a/2", "b/3", "b/1"}));
  q.Sort({buf.name});
  EXPECT_EQ(Contents(), (Names{"a/4", "a/2", "b/3", "b/1"})) << "a stable sort keeps equals in their order";
  q.Sort({rt::Descending(buf.name), rt::Descending(buf.id)});
  EXPECT_EQ(Contents(), (Names{"b/3", "b/1", "a/4", "a/2"}));
  buf.name = "a";
  q.Get({buf.name});
  EXPECT_EQ(buf.id, 4);
  AddKeyed(5, "c");  // in ascending order into a descending queue: no order is known any more
  buf.name = "a";
  q.Get({buf.name});
  EXPECT_EQ(buf.id, 4);
}

// A key field that is not in the buffer, or a queue without a buffer, is a programming error
// reported once; nothing happens.
TEST_F(QueueTest, KeyOutsideTheBufferIsRejected) {
  rt::Long elsewhere = 3;
  rt::testing::ClearAssertionMessages();
  rt::Queue overALong(&elsewhere, sizeof elsewhere);
  q.Add({elsewhere});
  EXPECT_EQ(q.Records(), 0);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 1u);
  rt::Queue noBuffer(nullptr, sizeof elsewhere);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 2u);
}

// Thousands of records: reverse-order keyed adds split the internal chunks many times;
// every position and every key must still be right.
TEST(QueueLarge, KeyedAddsAcrossChunks) {
  Row buf;
  rt::Queue q(buf);
  constexpr int kCount = 5000;
  for (int i = kCount; i >= 1; --i) {
    buf.id = i * 2;
    q.Add({buf.id});
  }
  ASSERT_EQ(q.Records(), kCount);
  for (int pos = 1; pos <= kCount; pos += 7) {
    q.Get(pos);
    ASSERT_EQ(buf.id, pos * 2);
  }
  for (int i = 1; i <= kCount; i += 13) {
    buf.id = i * 2;
    q.Get({buf.id});
    ASSERT_EQ(q.Pointer(), i);
    buf.id = i * 2 + 1;
    q.Get({buf.id});
    ASSERT_EQ(rt::ErrorCode(), rt::kQueueEntryNotFound);
  }
  for (int pos = kCount; pos >= 1; pos -= 2) {
    q.Get(pos);
    q.Delete();
  }
  ASSERT_EQ(q.Records(), kCount / 2);
  q.Get(q.Records());
  EXPECT_EQ(buf.id, (kCount - 1) * 2);
}

// Mixed operations checked against a plain vector: keyed gets must find the first equal
// record whether the queue still knows its order (binary search) or lost it (scan).
TEST(QueueModel, MixedOperationsAgreeWithAVector) {
  Row buf;
  rt::Queue q(buf);
  std::vector<std::pair<rt::Long, rt::Long>> model;  // (key, serial) in queue order
  std::mt19937 random(12345);
  auto keyOf = [&](int bound) { return static_cast<rt::Long>(random() % bound); };
  auto isSorted = [&] {
    return std::is_sorted(model.begin(), model.end(), [](auto& a, auto& b) { return a.first < b.first; });
  };
  rt::Long serial = 0;
  for (int step = 0; step < 4000; ++step) {
    const int op = static_cast<int>(random() % 6);
    if (op == 0 || op == 1) {  // keyed add (sorting first when the order was lost, as a program would)
      if (!isSorted()) {
        q.Sort({buf.id});
        std::stable_sort(model.begin(), model.end(), [](auto& a, auto& b) { return a.first < b.first; });
      }
      buf.id = keyOf(50);
      buf.amount = ++serial;
      q.Add({buf.id});
      const auto at = std::upper_bound(model.begin(), model.end(), buf.id, [](rt::Long k, auto& e) { return k < e.first; });
      ASSERT_EQ(q.Pointer(), at - model.begin() + 1) << "step " << step << ": after its equals, positions from 1";
      model.insert(at, {buf.id, serial});
    } else if (op == 2) {  // append, possibly out of order
      buf.id = keyOf(50);
      buf.amount = ++serial;
      q.Add();
      model.push_back({buf.id, serial});
    } else if (op == 3 && !model.empty()) {  // change a key in place
      const int pos = 1 + static_cast<int>(random() % model.size());
      q.Get(pos);
      buf.id = keyOf(50);
      q.Put();
      model[pos - 1].first = buf.id;
    } else if (op == 4 && !model.empty()) {  // delete the current record, or one by position
      const int pos = 1 + static_cast<int>(random() % model.size());
      if (step % 2) {
        q.Get(pos);
        q.Delete();
      } else {
        const Row before = buf;
        q.Delete(pos);
        ASSERT_EQ(rt::ErrorCode(), 0) << "step " << step;
        ASSERT_EQ(std::memcmp(&buf, &before, sizeof buf), 0) << "a delete by position leaves the buffer alone";
      }
      ASSERT_EQ(q.Pointer(), 0);
      model.erase(model.begin() + pos - 1);
    } else {  // keyed get
      buf.id = keyOf(50);
      buf.amount = -1;
      q.Get({buf.id});
      const auto it = std::find_if(model.begin(), model.end(), [&](auto& e) { return e.first == buf.id; });
      if (it == model.end()) {
        ASSERT_EQ(rt::ErrorCode(), rt::kQueueEntryNotFound) << "step " << step;
        ASSERT_EQ(buf.amount, -1) << "step " << step << ": a miss leaves the buffer alone";
      } else {
        ASSERT_EQ(rt::ErrorCode(), 0) << "step " << step;
        ASSERT_EQ(buf.amount, it->second) << "step " << step;
        ASSERT_EQ(q.Pointer(), it - model.begin() + 1) << "step " << step;
      }
    }
    if (step % 700 == 699) {  // emptied now and then: the freed records' storage is used again
      q.Free();
      model.clear();
    }
    ASSERT_EQ(q.Records(), static_cast<rt::Long>(model.size()));
  }
}

}  // namespace
