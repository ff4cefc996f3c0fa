// Views over a keyed file: orders by field lists (served by a key or not), filters in the
// runtime's expression language and their errors, range limits, positions, watch and reget,
// joined files, paging, and the errors of each operation. That a pushed-down filter gives the
// rows the evaluator gives is the property test's (test_filter_equivalence.cpp).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/data/bind.h"
#include "runtime/data/expression_filter.h"
#include "runtime/data/view.h"
#include "tests/runtime/data/keyed_fixture.h"
#include "tests/support/param_names.h"

namespace {

using namespace test_afile;

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A key that folds no case after the one that does: an order takes its folding from its own key.
    decl_.keys.push_back({"AFI:DecKey", {{3, true}}});
    rt::PushBind();
    rt::BindG(AFileLayout(), &record_);  // the names every view's default filter language reads
    file_ = std::make_unique<rt::File>(decl_, record_);
    file_->Create();
    file_->Open();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << rt::FileError();
    const char* texts[] = {"pear", "Apple", "fig", "apple", "Fig", "kiwi", "date", "x' OR 1=1 --", "lime", "plum"};
    for (rt::Long id = 1; id <= 10; ++id) {
      Fill(record_, id, texts[id - 1], std::to_string((id * 37) % 11 - 5).c_str(), id % 3 ? 70000 + id : 0);
      file_->Add();
      ASSERT_EQ(rt::ErrorCode(), 0);
    }
  }

  void TearDown() override { rt::PopBind(); }

  std::vector<rt::Long> Walk(rt::View& view, bool backward = false) {
    std::vector<rt::Long> ids;
    view.Set();
    for (backward ? view.Previous() : view.Next(); rt::ErrorCode() == 0; backward ? view.Previous() : view.Next())
      ids.push_back(record_.ID);
    return ids;
  }

  TempDir temp_;
  rt::FileDecl decl_ = KeyedAFile((temp_ / "AFILE").string());
  AFI_Record record_;
  std::unique_ptr<rt::File> file_;
};

// ---- Order ----

struct OrderCase {
  const char* reason;
  const char* order;
  std::vector<rt::Long> ids;
  bool backward = false;  // also read backward: once by a key, once by the view's own order
};

class ViewOrder : public ViewTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(ViewOrder, ReadsInTheOrder) {
  rt::View view(*file_);
  view.SetProperty(rt::PropViewOrder, GetParam().order);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
  view.SetBuffering({3, 2, 0, 60});  // pages much smaller than the file
  view.Open();
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(Walk(view), GetParam().ids);
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << "the end";
  // Turning back with rows read ahead in the page: the row before, not the page's next one.
  view.Set();
  view.Next();
  view.Next();
  view.Previous();
  EXPECT_EQ(record_.ID, GetParam().ids[0]);
  if (GetParam().backward) {
    EXPECT_EQ(Walk(view, true), std::vector<rt::Long>(GetParam().ids.rbegin(), GetParam().ids.rend()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ViewOrder,
    ::testing::Values(OrderCase{"no order is file order", "", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
                      OrderCase{"a key descending", "-AFI:ID", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
                      OrderCase{"a case insensitive key", "UPPER(AFI:ASTRING), -AFI:ID", {4, 2, 7, 5, 3, 6, 9, 1, 10, 8}, true},
                      OrderCase{"case sensitive text without a key", "AFI:ASTRING", {2, 5, 4, 7, 3, 6, 9, 1, 10, 8}},
                      OrderCase{"a decimal then a key field without a key", "-AFI:ADECIMAL, AFI:ID", {8, 5, 2, 10, 7, 4, 1, 9, 6, 3}, true}),
    ByReason());

// ---- Filter ----

// A bad order or filter is 800 naming the fault, also on an open view, and the one before stays.
TEST_F(ViewTest, FilterSelectsRowsAndABadOrderOrFilterFailsAlsoOnAnOpenView) {
  rt::View view(*file_);
  view.SetProperty(rt::PropViewOrder, "-AFI:ID");
  view.SetProperty(rt::PropViewFilter, "AFI:ID > 7");
  ASSERT_EQ(rt::ErrorCode(), 0);
  view.Open();
  EXPECT_EQ(Walk(view), (std::vector<rt::Long>{10, 9, 8}));
  struct Bad {
    rt::Long property;
    const char* text;
    const char* shown;  // in the error
  };
  for (const Bad bad : {Bad{rt::PropViewOrder, "AFI:NOSUCH", "AFI:NOSUCH"}, {rt::PropViewOrder, "LOWER(AFI:ID)", "LOWER(AFI:ID)"},
                        {rt::PropViewFilter, "AFI:ID >", "Bad Expression"}, {rt::PropViewFilter, "AFI:NOSUCH = 1", "Bad Expression"},
                        {rt::PropViewFilter, "AFI:ASTRING = 'open", "Bad Expression"}}) {  // only UPPER(...) folds case
    view.SetProperty(bad.property, bad.text);
    EXPECT_EQ(rt::ErrorCode(), 800) << bad.text;
    EXPECT_NE(rt::Error().find(bad.shown), std::string::npos) << bad.text << ": " << rt::Error();
  }
  EXPECT_EQ(view.Property(rt::PropViewOrder), "-AFI:ID");
  EXPECT_EQ(view.Property(rt::PropViewFilter), "AFI:ID > 7");
  EXPECT_EQ(Walk(view), (std::vector<rt::Long>{10, 9, 8}));
  view.SetProperty(rt::PropViewFilter, "");
  EXPECT_EQ(Walk(view).size(), 10u);
}

// ---- Range limits and positions ----

TEST_F(ViewTest, LimitsKeepTheViewToTheLeadingValues) {
  rt::View view(*file_);
  view.SetProperty(rt::PropViewOrder, "UPPER(AFI:ASTRING), -AFI:ID");
  view.Open();
  Fill(record_, 0, "fig");  // the limit folds case as the order does
  view.SetLimits(1);
  EXPECT_EQ(Walk(view), (std::vector<rt::Long>{5, 3}));
  EXPECT_EQ(Walk(view, true), (std::vector<rt::Long>{3, 5}));
  view.SetLimits(0);
  EXPECT_EQ(Walk(view).size(), 10u);
}

TEST_F(ViewTest, SetFromBufferResetToAPositionAndTheEnds) {
  rt::View view(*file_);
  view.SetProperty(rt::PropViewOrder, "AFI:ID");
  view.Open();
  Fill(record_, 4, "");
  view.SetFromBuffer(1);
  view.Next();
  EXPECT_EQ(record_.ID, 4);
  view.Next();
  const std::string position = view.Position();
  view.Next();
  view.Reset(position);
  view.Next();
  EXPECT_EQ(record_.ID, 5) << "next after a reset reads the record at the position";
  view.Reset(position);
  view.Previous();
  EXPECT_EQ(record_.ID, 5);
  view.Previous();
  EXPECT_EQ(record_.ID, 4);
  for (const std::string& bad : {std::string("nonsense"), "V:g" + position.substr(3)}) {  // not a hex digit
    view.Reset(bad);
    EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << bad;
  }
  rt::View inFileOrder(*file_);
  inFileOrder.Open();
  inFileOrder.Reset("nonsense");
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << "also where no sort key is read back";

  Fill(record_, 4, "");
  view.SetFromBuffer(1);
  view.Previous();
  EXPECT_EQ(record_.ID, 4) << "previous from the buffer includes the value itself";
}

// ---- Watch, reget and open ----

TEST_F(ViewTest, WatchedViewRecordChangedElsewhereFailsPutWith89AndRegetShowsTheChange) {
  rt::View view(*file_);
  view.Open();
  view.Watch();
  view.Next();
  const std::string position = view.Position();
  AFI_Record other;
  rt::File second(decl_, other);
  second.Open();
  second.GetByPointer(1);
  other.ASTRING = "changed";
  second.Put();
  file_->Put();
  EXPECT_EQ(rt::ErrorCode(), rt::RecordChangedErr);
  view.Reget(position);
  EXPECT_EQ(record_.ASTRING.Str(), "changed");
  view.Next();
  EXPECT_EQ(record_.ID, 2) << "reading goes on after the record reread";
}

// ---- Joined files ----

struct Note {
  rt::Long ID = 0;
  rt::FixedString<10> TEXT;
};

TEST_F(ViewTest, JoinedFilesFollowThePrimaryRecordAndAreNumbered) {
  static const rt::RecordLayout noteLayout(sizeof(Note), {rt::LayoutField("NOT:ID", &Note::ID), rt::LayoutField("NOT:TEXT", &Note::TEXT)});
  const rt::FileDecl noteDecl = Declare("Notes", "KEYED", (temp_ / "NOTES").string(), noteLayout, {{"NOT:IDKey", {{1, true}}, true}});
  Note note;
  rt::File notes(noteDecl, note);
  notes.Create();
  notes.Open();
  for (rt::Long id : {2, 4}) {
    note.ID = id;
    note.TEXT = "note " + std::to_string(id);
    notes.Add();
  }
  rt::View view(*file_);
  view.Join(notes, 1, {1});
  EXPECT_EQ(view.Property(rt::PropViewFile, 2), "Notes");
  EXPECT_EQ(view.FileAt(2), &notes);
  EXPECT_EQ(view.FileAt(3), nullptr);
  view.SetProperty(rt::PropViewOrder, "AFI:ID");
  view.Open();
  std::vector<std::string> texts;
  view.Set();
  for (view.Next(); rt::ErrorCode() == 0 && record_.ID <= 4; view.Next()) texts.push_back(note.TEXT.Str());
  EXPECT_EQ(texts, (std::vector<std::string>{"", "note 2", "", "note 4"}));
}

// ---- A driver without keys or versions ----

TEST(ViewOverText, ReadsInFileOrderOnlyAndCannotWatch) {
  struct Line {
    rt::FixedString<8> TEXT;
  };
  static const rt::RecordLayout layout(sizeof(Line), {rt::LayoutField("LIN:TEXT", &Line::TEXT)});
  TempDir temp;
  const rt::FileDecl decl = Declare("Lines", "ASCII", (temp / "lines.txt").string(), layout);
  Line line;
  rt::File file(decl, line);
  file.Create();
  file.Open();
  for (const char* text : {"b", "a"}) {
    line.TEXT = text;
    file.Add();
  }
  rt::View view(file);
  view.SetBuffering({1});  // a read a row: each read goes on from the line before, the first one's too
  view.Open();
  std::vector<std::string> texts, positions;
  for (view.Next(); rt::ErrorCode() == 0; view.Next()) texts.push_back(line.TEXT.Str()), positions.push_back(view.Position());
  EXPECT_EQ(texts, (std::vector<std::string>{"b", "a"}));
  // A row is read again from its position (a browse does so for a change), the first one too.
  for (std::size_t i = 0; i < positions.size(); ++i) {
    view.Reset(positions[i]);
    view.Next();
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::Error();
    EXPECT_EQ(line.TEXT.Str(), texts[i]);
    EXPECT_EQ(view.Position(), positions[i]);
  }
  view.Watch();
  EXPECT_EQ(rt::ErrorCode(), rt::NoLogoutErr);
  view.SetProperty(rt::PropViewOrder, "LIN:TEXT");
  view.Set();
  view.Next();
  EXPECT_EQ(rt::ErrorCode(), rt::NoLogoutErr) << "no order but the file's";
  view.Close();
  file.Close();
  view.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::NotOpenErr) << "the primary file must be open";
}

// ---- Callbacks ----

class ViaView : public rt::FileCallback {
 public:
  bool FunctionCalled(const rt::FileCall& call, std::string&, std::string&) override {
    seen.push_back(std::to_string(static_cast<rt::Long>(call.op)) + (call.viaView ? "v" : ""));
    return true;
  }
  bool FunctionDone(const rt::FileCall&, std::string&, std::string&) override { return true; }
  std::vector<std::string> seen;
};

TEST_F(ViewTest, ReadsThroughAViewTellTheFileCallbacksSo) {
  ViaView recorder;
  file_->AddCallback(&recorder);
  rt::View view(*file_);
  view.Open();
  view.Next();
  view.Previous();
  file_->Next();
  EXPECT_EQ(recorder.seen, (std::vector<std::string>{"66v", "67v", "17"}));
  file_->RemoveCallback(&recorder);
}

}  // namespace
