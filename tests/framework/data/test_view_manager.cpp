// ViewManager over a keyed file of its own (300 items in ten groups, three keys), joined to the
// test dictionary's parent file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/data/view_manager.h"
#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/data/view.h"
#include "tests/framework/data/data_fixture.h"

namespace testdict {
namespace {

struct ITM_Record { rt::Long GRP = 0; rt::Long SEQ = 0; rt::FixedString<20> NAME; rt::Long PRICE = 0; };

rt::FileDecl ItemDecl(const std::string& directory) {
  static const rt::RecordLayout layout(sizeof(ITM_Record), {rt::LayoutField("ITM:GRP", &ITM_Record::GRP),
                                                           rt::LayoutField("ITM:SEQ", &ITM_Record::SEQ),
                                                           rt::LayoutField("ITM:NAME", &ITM_Record::NAME),
                                                           rt::LayoutField("ITM:PRICE", &ITM_Record::PRICE)});
  return Decl("Item", directory + "/item", layout,
              {{"ITM:GroupKey", {{1, true}, {2, true}}, true, false, false, true},
               {"ITM:NameKey", {{3, true}}, false, false, false, false},
               {"ITM:PriceKey", {{4, false}, {1, true}, {2, true}}, true, false, false, false}});
}

constexpr int kItems = 300;
constexpr int kPerGroup = 30;

ITM_Record MakeItem(int i) {
  ITM_Record r;
  r.GRP = i / kPerGroup + 1;
  r.SEQ = i % kPerGroup + 1;
  char name[16];
  std::snprintf(name, sizeof name, "Item %03d", (i * 7) % kItems);  // names in another order than the groups
  r.NAME = name;
  r.PRICE = (i * 37) % 101;
  return r;
}

using Row = std::tuple<rt::Long, rt::Long>;  // group, number
Row RowOf(const ITM_Record& r) { return {r.GRP, r.SEQ}; }

// The items a predicate selects, in the group key's order.
std::vector<Row> Expected(const std::function<bool(const ITM_Record&)>& keep = [](const ITM_Record&) { return true; }) {
  std::vector<Row> rows;
  for (int i = 0; i < kItems; ++i)
    if (keep(MakeItem(i))) rows.push_back(RowOf(MakeItem(i)));
  return rows;
}

class ViewManagerTest : public DataTest {
 protected:
  ViewManagerTest() : itemDecl_(ItemDecl(temp_.Path().string())) {
    itemFile_ = std::make_unique<rt::File>(itemDecl_, ITM);
    item_ = std::make_unique<TestAccess>(
        *itemFile_, errors_, std::vector<TestAccess::KeySpec>{{1, "", true}, {2, "Item name", false}, {3, "", false}}, 1);
  }
  ~ViewManagerTest() override {
    vm_.reset();
    relItem_->Kill();
    item_->Kill();
  }
  void SetUp() override {
    DataTest::SetUp();
    std::vector<PAR_Record> parents(9);
    for (rt::Long g = 1; g <= 9; ++g) parents[g - 1] = {g, std::string_view("Group " + std::to_string(g))};  // none for 10
    Add(parentDecl_, parents);
    std::vector<ITM_Record> items;
    for (int i = 0; i < kItems; ++i) items.push_back(MakeItem(i));
    Add(itemDecl_, items);
    item_->Init();
    relItem_->Init(*item_, 1);
  }

  // A manager over its own view with the item file's three keys as orders 1 to 3.
  template <class Manager = ViewManager>
  Manager& Make() {
    auto made = std::make_unique<Manager>();
    Manager& vm = *made;
    vm_ = std::move(made);
    vm.Init(*relItem_);
    for (std::size_t key = 1; key <= 3; ++key) vm.AddSortOrder(key);
    vm.SetSort(1);
    return vm;
  }

  // Every row from the current position on. Walks go forward; the backward step is Reset's test.
  std::vector<Row> Walk(ViewManager& vm, bool fromStart = false) {
    if (fromStart) vm.Reset();
    std::vector<Row> rows;
    while (vm.Next() == Level::Ok) rows.push_back(RowOf(ITM));
    return rows;
  }

  rt::FileDecl itemDecl_;
  ITM_Record ITM;
  std::unique_ptr<rt::File> itemFile_;
  std::unique_ptr<TestAccess> item_;
  std::unique_ptr<TestRelate> relItem_ = std::make_unique<TestRelate>();
  std::unique_ptr<ViewManager> vm_;
};

// ---- Sort orders ----

TEST_F(ViewManagerTest, EachSortOrderReadsInItsKeysOrder) {
  // first: the first two rows
  const struct { const char* reason; std::size_t key; const char* text; std::vector<Row> first; } cases[] = {
      {"1: two ascending components", 1, "ITM:GRP,ITM:SEQ", {{1, 1}, {1, 2}}},
      {"2: a string component", 2, "ITM:NAME", {{1, 1}, {2, 14}}},
      {"3: a descending first component", 3, "-ITM:PRICE,ITM:GRP,ITM:SEQ", {{2, 1}, {5, 12}}},
  };
  ViewManager& vm = Make();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(vm.SetSort(static_cast<rt::Byte>(c.key)), c.key == 1 ? 0 : 1);
    vm.Open();
    EXPECT_EQ(vm.View->Property(rt::PropViewOrder), c.text);
    const std::vector<Row> rows = Walk(vm, true);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kItems));
    EXPECT_EQ(std::vector<Row>(rows.begin(), rows.begin() + 2), c.first);
  }
  EXPECT_EQ(vm.SetSort(9), 0);
  EXPECT_EQ(vm.SetSort(0), 1) << "0 counts as 1";
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"Sort order does not exist:9"});
}

// ---- Range limits and filters ----

TEST_F(ViewManagerTest, RangeLimitsOverLeadingComponents) {
  // nameLimit: for the name key.
  struct Case { const char* reason; std::size_t key; rt::Byte kind; std::vector<rt::Long> limits; const char* nameLimit;
                const char* filterText; std::size_t rows; } const cases[] = {
      {"one component", 1, Limit::Equals, {3}, nullptr, "ITM:GRP = 3", 30},
      {"two components", 1, Limit::EqualsAll, {3, 7}, nullptr, "ITM:GRP = 3 AND ITM:SEQ = 7", 1},
      {"between two groups", 1, Limit::Between, {3, 4}, nullptr, "ITM:GRP >= 3 AND ITM:GRP <= 4", 60},
      {"one group, numbers between", 1, Limit::Between, {2, 5, 9}, nullptr, "ITM:GRP = 2 AND ITM:SEQ >= 5 AND ITM:SEQ <= 9", 5},
      {"a string value, quoted", 2, Limit::Equals, {}, "Item 010", "ITM:NAME = 'Item 010'", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    ViewManager& vm = Make();
    vm.SetSort(static_cast<rt::Byte>(c.key));
    SortOrder& order = *vm.Order->Current();
    order.LimitType = c.kind;
    rt::Long limits[3] = {}, now[3] = {};
    rt::FixedString<20> name, nameNow;
    for (std::size_t i = 0; i < c.limits.size(); ++i) order.RangeList->AddPair(limits[i] = c.limits[i], now[i]);
    if (c.nameLimit) order.RangeList->AddPair(name = c.nameLimit, nameNow);
    order.RangeList->AssignLeftToRight();
    vm.Open();
    EXPECT_EQ(vm.View->Property(rt::PropViewFilter), c.filterText);
    EXPECT_EQ(Walk(vm, true).size(), c.rows);
  }
  EXPECT_TRUE(ShownTitles().empty());
}

TEST_F(ViewManagerTest, NamedFiltersCombineWithTheRangeInDescendingIdOrder) {
  ViewManager& vm = Make();
  SortOrder& order = *vm.Order->Current();
  rt::Long group = 3, groupNow = 0;
  order.LimitType = Limit::Equals;
  order.RangeList->AddPair(group, groupNow);
  vm.SetFilter("ITM:PRICE > 50  ");
  vm.SetFilter("ITM:SEQ < 20", "9 - QBE");
  vm.Open();
  EXPECT_EQ(vm.View->Property(rt::PropViewFilter), "ITM:GRP = 3 AND (ITM:SEQ < 20) AND (ITM:PRICE > 50)");
  EXPECT_EQ(Walk(vm, true), Expected([](const ITM_Record& r) { return r.GRP == 3 && r.SEQ < 20 && r.PRICE > 50; }));

  vm.SetFilter("", "9 - QBE");
  vm.ApplyFilter();
  EXPECT_EQ(Walk(vm, true), Expected([](const ITM_Record& r) { return r.GRP == 3 && r.PRICE > 50; }));

  vm.SetSort(2);  // filters and ranges belong to their order
  vm.Open();
  EXPECT_EQ(vm.View->Property(rt::PropViewFilter), "");
  EXPECT_EQ(Walk(vm, true).size(), static_cast<std::size_t>(kItems));
  vm.SetSort(1);
  vm.SetFilter("ITM:PRICE < 10");  // replaces the standard filter
  vm.Open();
  EXPECT_EQ(Walk(vm, true), Expected([](const ITM_Record& r) { return r.GRP == 3 && r.PRICE < 10; }));
  std::string many;
  for (int i = 0; i < 400; ++i) many += "ITM:PRICE <> 1000 AND ";
  vm.SetFilter("");
  vm.SetFilter(many + "ITM:SEQ = 7", "9 - QBE");  // past 5000 characters: a cut text would lose the end
  vm.ApplyFilter();
  EXPECT_EQ(Walk(vm, true), std::vector<Row>{Row(3, 7)});
  EXPECT_TRUE(ShownTitles().empty());
}

TEST_F(ViewManagerTest, AFilterThatDoesNotParseIsReportedAndTheViewGoesOnUnfiltered) {
  ViewManager& vm = Make();
  vm.SetFilter("ITM:GRP = 3");
  vm.Open();
  ASSERT_EQ(Walk(vm, true).size(), 30u);
  vm.SetFilter("ITM:GRP = 4", "9 - QBE");
  vm.SetFilter("ITM:NOSUCH = 1");
  vm.ApplyFilter();
  ASSERT_EQ(ShownTitles(), std::vector<std::string>{"View Open Error"});
  EXPECT_NE(dialogs_.Shown()[0].text.find("ITM:NOSUCH"), std::string::npos) << dialogs_.Shown()[0].text;
  EXPECT_EQ(vm.View->Property(rt::PropViewFilter), "");
  vm.View->Set();  // a Reset would apply the bad filter again, and report it again
  EXPECT_EQ(Walk(vm).size(), static_cast<std::size_t>(kItems)) << "not the filter before either";

  vm.AppendOrder("*ITM:NOSUCH");  // a bad order: reported too, and read in record order
  vm.ApplyOrder();
  EXPECT_EQ(ShownTitles(), (std::vector<std::string>{"View Open Error", "View Open Error"}));
  vm.View->Set();
  EXPECT_EQ(Walk(vm), Expected());
}

// ---- ApplyRange ----

TEST_F(ViewManagerTest, ApplyRangeNoticesTheChangesItsKindWatches) {
  ViewManager& vm = Make();
  SortOrder& order = *vm.Order->Current();
  rt::Long left[2] = {3, 7}, right[2] = {3, 7};
  for (int i = 0; i < 2; ++i) order.RangeList->AddPair(left[i], right[i]);
  vm.Open();
  struct Step { const char* reason; rt::Byte kind; std::function<void()> change; rt::Byte applied; const char* filter; } const steps[] = {
      {"equals: never", Limit::Equals, [&] { left[0] = 4; }, 0, ""},
      {"last pair: its change", Limit::EqualsLast, [&] { left[1] = 8; }, 1, "ITM:GRP = 4 AND ITM:SEQ = 8"},
      {"last pair: nothing changed", Limit::EqualsLast, [] {}, 0, "ITM:GRP = 4 AND ITM:SEQ = 8"},
      {"last pair: an earlier pair is not watched", Limit::EqualsLast, [&] { left[0] = 5; }, 0, "ITM:GRP = 4 AND ITM:SEQ = 8"},
      {"between: the lower limit", Limit::Between, [] {}, 1, "ITM:GRP >= 5 AND ITM:GRP <= 8"},
      {"between: the upper limit", Limit::Between, [&] { left[1] = 6; }, 1, "ITM:GRP >= 5 AND ITM:GRP <= 6"},
      {"between: nothing changed", Limit::Between, [] {}, 0, "ITM:GRP >= 5 AND ITM:GRP <= 6"},
      {"any pair: rights against their saved copy", Limit::EqualsAll, [] {}, 1, "ITM:GRP = 5 AND ITM:SEQ = 6"},
      {"any pair: a left alone is not watched", Limit::EqualsAll, [&] { left[0] = 7; }, 0, "ITM:GRP = 5 AND ITM:SEQ = 6"},
      {"any pair: a right changed", Limit::EqualsAll, [&] { right[1] = 9; }, 1, "ITM:GRP = 7 AND ITM:SEQ = 6"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.reason);
    order.LimitType = s.kind;
    s.change();
    EXPECT_EQ(vm.ApplyRange(), s.applied);
    EXPECT_EQ(vm.View->Property(rt::PropViewFilter), s.filter);
  }
  EXPECT_EQ(right[0], 5) << "between takes both limits over";
}

// ---- Reading ----

struct SkippingView : ViewManager {
  const ITM_Record* record = nullptr;
  rt::Byte ValidateRecord() override {
    if (record->GRP == 5) return Validation::OutOfRange;
    return record->SEQ % 3 == 0 ? Validation::FilteredOut : Validation::Accepted;
  }
};

TEST_F(ViewManagerTest, ValidationSkipsFilteredRecordsAndStopsOutOfRange) {
  SkippingView& vm = Make<SkippingView>();
  vm.record = &ITM;
  vm.Open();
  EXPECT_EQ(Walk(vm, true), Expected([](const ITM_Record& r) { return r.GRP < 5 && r.SEQ % 3 != 0; }));
}

TEST_F(ViewManagerTest, InitOverAManagerWithoutItsFileIsReportedAndLeavesNoView) {
  rt::File* const file = std::exchange(item_->File, nullptr);
  ViewManager vm;
  vm.Init(*relItem_);
  item_->File = file;
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"ViewManager::Init: the primary file manager has no file yet"});
  EXPECT_EQ(vm.View, nullptr);
}

TEST_F(ViewManagerTest, AReadErrorIsReportedAndTheNextReadGoesOn) {
  ViewManager& vm = Make();
  vm.Reset();
  FaultInjector fault(3, {rt::FileOp::ViewNext});
  itemFile_->AddCallback(&fault);
  std::vector<rt::Byte> results;
  for (int i = 0; i < 4; ++i) results.push_back(vm.Next());
  itemFile_->RemoveCallback(&fault);
  EXPECT_EQ(results, (std::vector<rt::Byte>{Level::Ok, Level::Ok, Level::Fatal, Level::Ok}));
  EXPECT_EQ(RowOf(ITM), Row(1, 3));
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Record Retrieval Error"});
}

TEST_F(ViewManagerTest, ResetStartsFromTheBuffersLeadingOrderValues) {
  ViewManager& vm = Make();
  struct Case { const char* reason; rt::Long number; Row buffer; Row next; Row previous; } const cases[] = {
      {"the start of the order", 0, {7, 12}, {1, 1}, {10, 30}},
      {"one component", 1, {7, 12}, {7, 1}, {7, 30}},
      {"both components", 2, {7, 12}, {7, 12}, {7, 12}},
      {"between records", 2, {7, 99}, {8, 1}, {7, 30}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    for (const bool backward : {false, true}) {
      std::tie(ITM.GRP, ITM.SEQ) = c.buffer;
      vm.Reset(c.number);
      ASSERT_EQ(backward ? vm.Previous() : vm.Next(), Level::Ok);
      EXPECT_EQ(RowOf(ITM), backward ? c.previous : c.next);
    }
  }
}

// ---- Priming ----

TEST_F(ViewManagerTest, PrimedRecordsFallInsideTheCurrentRange) {
  struct Case { const char* reason; rt::Byte kind; std::vector<rt::Long> limits; Row primed; } const cases[] = {
      {"one component", Limit::Equals, {4}, {4, 31}},
      {"the last limit taken over first", Limit::EqualsLast, {6}, {6, 31}},
      {"between: the components before the range", Limit::Between, {2, 30, 40}, {2, 31}},
      {"no range", Limit::None, {8}, {0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    ViewManager& vm = Make();
    SortOrder& order = *vm.Order->Current();
    order.LimitType = c.kind;
    rt::Long limits[3] = {}, now[3] = {};
    for (std::size_t i = 0; i < c.limits.size(); ++i) {
      limits[i] = c.limits[i];
      now[i] = c.kind == Limit::EqualsLast ? 0 : limits[i];
      order.RangeList->AddPair(limits[i], now[i]);
    }
    vm.Open();
    EXPECT_EQ(vm.ApplyRange(), c.kind == Limit::EqualsLast ? 1 : 0);
    ITM.NAME = "left over";
    ASSERT_EQ(vm.PrimeRecord(), Level::Ok);
    EXPECT_EQ(RowOf(ITM), c.primed);
    EXPECT_EQ(ITM.NAME, "") << "the record was cleared";
    vm.Kill();
  }
}

// ---- Joined files, saved buffers and opening ----

class JoinedViewTest : public ViewManagerTest {
 protected:
  void SetUp() override {
    ViewManagerTest::SetUp();
    view_ = std::make_unique<rt::View>(*itemFile_);
    view_->Join(*parentFile_, 1, {1});
  }
  ~JoinedViewTest() override { vm_.reset(); }
  ViewManager& MakeJoined() {
    vm_ = std::make_unique<ViewManager>();
    vm_->Init(*view_, *relItem_);
    vm_->AddSortOrder(1);
    return *vm_;
  }
  std::unique_ptr<rt::View> view_;
};

// A file without a manager is reported and skipped; the others are used while the manager lives,
// their buffers saved and restored together and cleared by priming, and given back, balanced, by Kill.
TEST_F(JoinedViewTest, TheViewsFilesAreUsedWhileTheManagerLivesAndTheirBuffersGoTogether) {
  CHI_Record loose;
  rt::File unmanaged(childDecl_, loose);
  view_->Join(unmanaged, 1, {1, 2});
  ViewManager& vm = MakeJoined();
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"Unable to obtain file manager for constituent file:Child"});
  EXPECT_TRUE(itemFile_->IsOpen() && parentFile_->IsOpen());
  vm.Reset();
  ASSERT_EQ(vm.Next(), Level::Ok);
  EXPECT_EQ(PAR.NAME, "Group 1");
  const ITM_Record item = ITM;
  vm.SaveBuffers();
  ASSERT_EQ(vm.Next(), Level::Ok);
  ITM.NAME = "changed";
  PAR.NAME = "changed";
  vm.RestoreBuffers();
  EXPECT_EQ(RowOf(ITM), RowOf(item));
  EXPECT_EQ(ITM.NAME.Str() + "|" + PAR.NAME.Str(), item.NAME.Str() + "|Group 1") << "every file's buffer";
  EXPECT_TRUE(item_->Buffers.empty() && parent_->Buffers.empty()) << "no saved copy is left behind";
  ASSERT_EQ(vm.PrimeRecord(), Level::Ok);
  EXPECT_EQ(PAR.NAME, "");
  vm.Kill();
  EXPECT_EQ(item_->GetOpened() + parent_->GetOpened(), 0);
  EXPECT_FALSE(itemFile_->IsOpen() || view_->IsOpen());
}

TEST_F(JoinedViewTest, AViewOpenedElsewhereIsUsedAndLeftOpen) {
  ViewManager& vm = MakeJoined();
  view_->Open();
  ASSERT_EQ(rt::ErrorCode(), 0);
  vm.Reset();
  EXPECT_EQ(vm.Opened, 0);
  EXPECT_EQ(Walk(vm).size(), static_cast<std::size_t>(kItems));
  EXPECT_TRUE(ShownTitles().empty()) << "52 is not an error here";
  vm.Close();
  EXPECT_TRUE(view_->IsOpen());
  vm.Close(1);
  EXPECT_FALSE(view_->IsOpen());
}

TEST_F(ViewManagerTest, TheFreeElementIsTheFirstComponentAfterTheRange) {
  // free: "position name ascending"
  struct Case { const char* reason; std::size_t key; rt::Byte kind; int pairs; const char* free; } const cases[] = {
      {"no range", 1, Limit::None, 0, "1 ITM:GRP 1"},
      {"one pair", 1, Limit::Equals, 1, "2 ITM:SEQ 1"},
      {"a descending component", 3, Limit::None, 0, "1 ITM:PRICE 0"},
      {"between counts the pairs", 1, Limit::Between, 2, "2 ITM:SEQ 1"},
      {"no key", 0, Limit::None, 0, "0  1"},
  };
  ViewManager& vm = Make();
  rt::Long left = 0, right = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    vm.SetSort(vm.AddSortOrder(c.key));
    SortOrder& order = *vm.Order->Current();
    order.LimitType = c.kind;
    for (int i = 0; i < c.pairs; ++i) order.RangeList->AddPair(left, right);
    EXPECT_EQ(std::to_string(vm.GetFreeElementPosition()) + " " + vm.GetFreeElementName() + " " +
                  std::to_string(vm.GetFreeElementAscending()),
              c.free);
  }
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
}

}  // namespace
}  // namespace testdict
