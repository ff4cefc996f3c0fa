// Views over a keyed file: orders by field lists (served by a key or not), filters through the
// ViewFilter interface (a small filter language of the test's own stands in for the expression
// evaluator), SQL push-down giving exactly the rows the C++ check gives, range limits, positions,
// watch and reget, joined files, paging, and the errors of each operation.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/text.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"
#include "runtime/data/expression_filter.h"
#include "runtime/data/view.h"
#include "tests/runtime/data/keyed_fixture.h"
#include "tests/support/param_names.h"

namespace {

using namespace test_afile;

// "<bound name> <=|<|> <number or 'text'>": enough language to drive the view.
class TinyFilter : public rt::ViewFilter {
 public:
  TinyFilter(std::string text, rt::FieldRef field, char op, std::string value, bool pushable)
      : text_(std::move(text)), field_(field), op_(op), value_(std::move(value)), pushable_(pushable) {}

  bool Matches() override {
    int c;
    if (field_.Shape().IsText()) {
      c = rt::CompareBlankPadded(field_.Text(), value_);
    } else {
      const double a = std::atof(field_.Text().c_str()), b = std::atof(value_.c_str());
      c = a < b ? -1 : (a > b ? 1 : 0);
    }
    return op_ == '=' ? c == 0 : (op_ == '<' ? c < 0 : c > 0);
  }
  std::string Text() const override { return text_; }
  std::optional<rt::SqlWhere> PushDown(const rt::ColumnOf& columns) const override {
    if (!pushable_) return std::nullopt;
    const std::optional<rt::StoredColumn> column = columns(field_);
    if (!column) return std::nullopt;
    rt::SqlWhere where{"\"" + column->name + "\" " + op_ + " ?", {}};
    if (column->kind == rt::StoredColumn::Kind::Text) {
      std::string clipped = value_;
      while (!clipped.empty() && clipped.back() == ' ') clipped.pop_back();
      where.params.push_back(clipped);
    } else {
      where.params.push_back(static_cast<std::int64_t>(std::atoll(value_.c_str())));
    }
    return where;
  }

 private:
  std::string text_;
  rt::FieldRef field_;
  char op_;
  std::string value_;
  bool pushable_;
};

rt::FilterParser TinyParser(AFI_Record& record, bool pushable) {
  return [&record, pushable](std::string_view text) -> rt::ParsedFilter {
    const std::size_t space = text.find(' ');
    if (space == std::string_view::npos || space + 3 > text.size()) return {nullptr, 800, "Bad Expression Syntax"};
    const std::size_t field = AFileLayout().FieldNumber(text.substr(0, space));
    if (field == 0) return {nullptr, 801, "Unknown Variable"};
    const char op = text[space + 1];
    std::string value(text.substr(space + 3));
    if (!value.empty() && value.front() == '\'') {
      if (value.size() < 2 || value.back() != '\'') return {nullptr, 800, "Bad Expression Syntax"};
      value = value.substr(1, value.size() - 2);
    }
    return {std::make_unique<TinyFilter>(std::string(text), rt::FieldRef(*AFileLayout().Field(field), &record), op, value,
                                         pushable),
            0, {}};
  };
}

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A key that folds no case after the one that does: an order takes its folding from its own key.
    decl_.keys.push_back({"AFI:DecKey", {{3, true}}});
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
};

class ViewOrder : public ViewTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(ViewOrder, ReadsInTheOrderBothWays) {
  rt::View view(*file_);
  view.SetProperty(rt::PropViewOrder, GetParam().order);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
  view.SetBuffering({3, 2, 0, 60});  // pages much smaller than the file
  view.Open();
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(Walk(view), GetParam().ids);
  std::vector<rt::Long> reversed(GetParam().ids.rbegin(), GetParam().ids.rend());
  EXPECT_EQ(Walk(view, true), reversed);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ViewOrder,
    ::testing::Values(OrderCase{"no order is file order", "", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
                      OrderCase{"a key descending", "-AFI:ID", {10, 9, 8, 7, 6, 5, 4, 3, 2, 1}},
                      OrderCase{"a case insensitive key", "UPPER(AFI:ASTRING), -AFI:ID", {4, 2, 7, 5, 3, 6, 9, 1, 10, 8}},
                      OrderCase{"case sensitive text without a key", "AFI:ASTRING", {2, 5, 4, 7, 3, 6, 9, 1, 10, 8}},
                      OrderCase{"a decimal then a key field without a key", "-AFI:ADECIMAL, AFI:ID", {8, 5, 2, 10, 7, 4, 1, 9, 6, 3}}),
    ByReason());

TEST_F(ViewTest, ABadOrderIsAnErrorAndKeepsTheOrderBefore) {
  rt::View view(*file_);
  view.SetProperty(rt::PropViewOrder, "-AFI:ID");
  view.Open();
  for (const char* bad : {"AFI:NOSUCH", "LOWER(AFI:ID)"}) {  // only UPPER(...) folds case
    view.SetProperty(rt::PropViewOrder, bad);
    EXPECT_EQ(rt::ErrorCode(), 800) << bad;
    EXPECT_NE(rt::Error().find(bad), std::string::npos) << rt::Error();
  }
  EXPECT_EQ(view.Property(rt::PropViewOrder), "-AFI:ID");
  EXPECT_EQ(Walk(view).front(), 10);
}

// ---- Filter ----

TEST_F(ViewTest, FilterSelectsRowsAndABadOneFailsAlsoOnAnOpenView) {
  rt::View view(*file_, TinyParser(record_, true));
  view.SetProperty(rt::PropViewOrder, "AFI:ID");
  view.SetProperty(rt::PropViewFilter, "AFI:ID > 7");
  ASSERT_EQ(rt::ErrorCode(), 0);
  view.Open();
  EXPECT_EQ(Walk(view), (std::vector<rt::Long>{8, 9, 10}));
  EXPECT_EQ(view.Property(rt::PropViewFilter), "AFI:ID > 7");

  struct Bad {
    const char* text;
    rt::Long code;
  } bad[] = {{"AFI:ID >", 800}, {"AFI:NOSUCH = 1", 801}, {"AFI:ASTRING = 'open", 800}};
  for (const Bad& b : bad) {
    view.SetProperty(rt::PropViewFilter, b.text);
    EXPECT_EQ(rt::ErrorCode(), b.code) << b.text;
    EXPECT_FALSE(rt::Error().empty()) << b.text;
    EXPECT_EQ(view.Property(rt::PropViewFilter), "AFI:ID > 7") << "the filter before stays";
  }
  EXPECT_EQ(Walk(view), (std::vector<rt::Long>{8, 9, 10}));
  view.SetProperty(rt::PropViewFilter, "");
  EXPECT_EQ(Walk(view).size(), 10u);
}

// Hides a filter's push-down, so the view checks every row itself.
class CheckOnly final : public rt::ViewFilter {
 public:
  explicit CheckOnly(std::unique_ptr<rt::ViewFilter> inner) : inner_(std::move(inner)) {}
  bool Matches() override { return inner_->Matches(); }
  std::string Text() const override { return inner_->Text(); }

 private:
  std::unique_ptr<rt::ViewFilter> inner_;
};

// The runtime's own filter language is every view's default: names bound with BIND, and the same
// rows whether the driver is handed the translatable part or the view checks each row alone.
TEST_F(ViewTest, ExpressionFiltersGiveTheSameRowsPushedDownOrChecked) {
  rt::PushBind();
  rt::BindG(AFileLayout(), &record_);
  const rt::FilterParser expressions = rt::ExpressionFilterParser();
  const rt::FilterParser checkOnly = [&](std::string_view text) {
    rt::ParsedFilter parsed = expressions(text);
    if (parsed.filter) parsed.filter = std::make_unique<CheckOnly>(std::move(parsed.filter));
    return parsed;
  };
  for (const char* filter : {"AFI:ID > 7", "AFI:ASTRING = 'fig' OR AFI:ID <= 2", "UPPER(AFI:ASTRING) = 'FIG'",
                             "AFI:ID > 3 AND INSTRING('i', AFI:ASTRING, 1, 1) > 0", "NOT AFI:ID = 5",
                             "AFI:ASTRING = 'x'' OR 1=1 --'", "AFI:ADECIMAL < 0 OR AFI:ID = 10"}) {
    rt::View pushed(*file_), checked(*file_, checkOnly);
    for (rt::View* view : {&pushed, &checked}) {
      view->SetProperty(rt::PropViewOrder, "UPPER(AFI:ASTRING), -AFI:ID");
      view->SetProperty(rt::PropViewFilter, filter);
      ASSERT_EQ(rt::ErrorCode(), 0) << filter << ": " << rt::Error();
      view->SetBuffering({2, 0, 0, 60});
      view->Open();
    }
    EXPECT_EQ(Walk(pushed), Walk(checked)) << filter;
    EXPECT_EQ(Walk(pushed, true), Walk(checked, true)) << filter;
  }
  rt::View view(*file_);
  view.SetProperty(rt::PropViewOrder, "AFI:ID");
  view.SetProperty(rt::PropViewFilter, "AFI:ID > 7");
  view.Open();
  EXPECT_EQ(Walk(view), (std::vector<rt::Long>{8, 9, 10}));
  view.SetProperty(rt::PropViewFilter, "AFI:NOSUCH = 1");
  EXPECT_EQ(rt::ErrorCode(), rt::BadExpressionErr);
  EXPECT_NE(rt::Error().find("AFI:NOSUCH"), std::string::npos) << rt::Error();
  rt::PopBind();
}

TEST_F(ViewTest, PushedDownFilterSeesANullFlaggedFieldAsTheEvaluatorDoes) {
  file_->GetByPointer(3);
  file_->SetNull(2, true);  // "fig", flagged null: its column still holds the value
  file_->Put();
  ASSERT_EQ(rt::ErrorCode(), 0);
  rt::View pushed(*file_, TinyParser(record_, true)), checked(*file_, TinyParser(record_, false));
  for (rt::View* view : {&pushed, &checked}) {
    view->SetProperty(rt::PropViewFilter, "AFI:ASTRING = 'fig'");
    view->Open();
  }
  EXPECT_EQ(Walk(pushed), (std::vector<rt::Long>{3}));
  EXPECT_EQ(Walk(checked), (std::vector<rt::Long>{3}));
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
  view.Next();
  EXPECT_EQ(record_.ID, 7);
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
  view.Set();
  view.Previous();
  EXPECT_EQ(record_.ID, 10);
  view.Set();
  for (int i = 0; i < 10; ++i) view.Next();
  view.Next();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
}

// ---- Watch, reget and open ----

TEST_F(ViewTest, WatchedViewRecordChangedElsewhereFailsPutWith89AndRegetShowsTheChange) {
  rt::View view(*file_);
  view.SetProperty(rt::PropViewOrder, "AFI:ID");
  view.Open();
  view.Watch();
  view.Next();
  ASSERT_EQ(record_.ID, 1);
  const std::string position = view.Position();
  AFI_Record other;
  rt::File second(decl_, other);
  second.Open();
  second.GetByPointer(1);
  other.ASTRING = "changed";
  second.Put();
  record_.ASTRING = "mine";
  file_->Put();
  EXPECT_EQ(rt::ErrorCode(), rt::RecordChangedErr);
  view.Watch();
  view.Reget(position);
  EXPECT_EQ(record_.ASTRING.Str(), "changed");
  view.Next();
  EXPECT_EQ(record_.ID, 2) << "reading goes on after the record reread";
}

TEST_F(ViewTest, OpenCloseAndTheirErrors) {
  rt::View view(*file_);
  view.Next();
  EXPECT_EQ(rt::ErrorCode(), rt::NotOpenErr);
  view.Open();
  view.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::IsOpenErr);
  view.Close();
  view.Close();
  EXPECT_EQ(rt::ErrorCode(), rt::NotOpenErr);
  file_->Close();
  view.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::NotOpenErr) << "the primary file must be open";
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
  EXPECT_EQ(view.Property(rt::PropViewFileCount), "2");
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
  view.Open();
  std::vector<std::string> texts;
  for (view.Next(); rt::ErrorCode() == 0; view.Next()) texts.push_back(line.TEXT.Str());
  EXPECT_EQ(texts, (std::vector<std::string>{"b", "a"}));
  view.Watch();
  EXPECT_EQ(rt::ErrorCode(), rt::NoLogoutErr);
  view.SetProperty(rt::PropViewOrder, "LIN:TEXT");
  view.Set();
  view.Next();
  EXPECT_EQ(rt::ErrorCode(), rt::NoLogoutErr) << "no order but the file's";
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
