// INIClass over a real INI file in a fresh directory per test. The file format itself,
// configparser interop included, is the INI store's and tested there.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "framework/util/ini_class.h"
#include "tests/support/files.h"
#include "runtime/core/assert.h"
#include "runtime/data/ini_store.h"

namespace {

// A window made of numbered properties, recording what was set.
struct Win { int x, y, w, h; bool resizable = true; const char* maximized = ""; const char* iconized = ""; };
class FakeWindow final : public rt::PropertyHolder {
 public:
  explicit FakeWindow(const Win& w)
      : props_{{rt::PROP_XPos, std::to_string(w.x)}, {rt::PROP_YPos, std::to_string(w.y)}, {rt::PROP_Width, std::to_string(w.w)},
               {rt::PROP_Height, std::to_string(w.h)}, {rt::PROP_Resize, w.resizable ? "1" : ""}} {
    if (*w.maximized) props_[rt::PROP_Maximize] = w.maximized;
    if (*w.iconized) props_[rt::PROP_Iconize] = w.iconized;
  }
  std::string GetProp(rt::Long property, rt::Long = 0) const override { return props_.contains(property) ? props_.at(property) : ""; }
  void SetProp(rt::Long property, std::string_view value, rt::Long = 0) override {
    props_[property] = std::string(value);
    sets.push_back(property);
  }
  // "x,y,w,h max=<Maximize> icon=<Iconize>", as the window now stands.
  std::string Placement() const {
    return GetProp(rt::PROP_XPos) + "," + GetProp(rt::PROP_YPos) + "," + GetProp(rt::PROP_Width) + "," +
           GetProp(rt::PROP_Height) + " max=" + GetProp(rt::PROP_Maximize) + " icon=" + GetProp(rt::PROP_Iconize);
  }
  std::vector<rt::Long> sets;

 private:
  std::map<rt::Long, std::string> props_;
};

// "Family/Item/Type" of every copied index entry, in order.
std::vector<std::string> Items(SectorQueue& out) {
  std::vector<std::string> items;
  for (int i = 1; i <= out.Q().Records(); ++i) {
    out.Q().Get(i);
    items.push_back(out.Rec().Family.Str() + "/" + out.Rec().Item.Str() + "/" + out.Rec().Type.Str());
  }
  return items;
}

// `ini` is opened on a file that does not exist yet; a test that reads the file back, as a
// restart would, makes its own INIClass.
class IniTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::testing::ClearAssertionMessages();
    ini.Init(file);
  }
  std::string Get(std::string_view section, std::string_view key) { return rt::GetIni(section, key, "<none>", file); }
  // The placement keys a section holds, in the order they are written.
  std::string Stored(std::string_view section) {
    std::string out;
    for (const char* key : {"Maximize", "Minimize", "XPos", "YPos", "Width", "Height"})
      if (const std::string value = Get(section, key); value != "<none>") out += (out.empty() ? "" : " ") + std::string(key) + "=" + value;
    return out;
  }
  std::vector<std::string> Asserts() { return rt::testing::AssertionMessages(); }

  TempDir dir_;
  std::string file = (dir_ / "Quibbet_demo.INI").string();
  INIClass ini;
};

// ---- Window placement ----

// Each saved window in turn is stored under one section (or a hand-written mark), then a window
// is placed from it.
// handMark: written as the section's Maximize with an XPos, instead of saving.
struct PlacementCase { const char* reason; std::vector<Win> saved; const char* handMark; const char* stored; Win opened; const char* placed; };

TEST_F(IniTest, WindowPlacementIsStoredAndRestoredByItsState) {
  const Win normal{10, 20, 300, 200};
  const PlacementCase cases[] = {
      {"first run: no file, nothing is set", {}, nullptr, "", {1, 2, 3, 4}, "1,2,3,4 max= icon="},
      {"a normal window", {normal}, nullptr, "Maximize=No Minimize=No XPos=10 YPos=20 Width=300 Height=200",
       {0, 0, 50, 60}, "10,20,300,200 max= icon=0"},
      {"maximized keeps only its state and is not moved", {normal, {0, 0, 1920, 1080, true, "1"}}, nullptr,
       "Maximize=Yes Minimize=No", {5, 6, 70, 80}, "5,6,70,80 max=1 icon=0"},
      {"a maximized window placed normally is un-maximized first", {normal}, nullptr,
       "Maximize=No Minimize=No XPos=10 YPos=20 Width=300 Height=200", {5, 6, 70, 80, true, "1"},
       "10,20,300,200 max=0 icon=0"},
      {"fixed size: no size keys, old ones removed", {normal, {11, 21, 400, 100, false}}, nullptr,
       "Maximize=No Minimize=No XPos=11 YPos=21", {0, 0, 400, 100, false}, "11,21,400,100 max= icon=0"},
      {"stored sizes are not applied to a fixed size", {normal}, nullptr,
       "Maximize=No Minimize=No XPos=10 YPos=20 Width=300 Height=200", {0, 0, 400, 100, false},
       "10,20,400,100 max= icon=0"},
      {"minimized", {{10, 20, 300, 200, true, "", "1"}}, nullptr, "Maximize=No Minimize=Yes", {1, 1, 1, 1},
       "1,1,1,1 max= icon=1"},
      {"only Yes and No mark a placement", {}, "yes", "Maximize=yes XPos=99", {1, 1, 1, 1}, "1,1,1,1 max= icon="},
  };
  int n = 0;
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(c.reason);
    const std::string section = "W" + std::to_string(++n);
    for (const Win& w : c.saved) {
      FakeWindow saved(w);
      ini.Update(section, saved);
    }
    if (c.handMark) {
      ini.Update(section, "Maximize", c.handMark);
      ini.Update(section, "XPos", "99");
    }
    EXPECT_EQ(Stored(section), c.stored);
    FakeWindow opened(c.opened);
    const std::string before = opened.Placement();
    ini.Fetch(section, opened);
    EXPECT_EQ(opened.Placement(), c.placed);
    EXPECT_TRUE(before != c.placed || opened.sets.empty());
    const auto at = [&](rt::Long property) { return std::find(opened.sets.begin(), opened.sets.end(), property); };
    const auto maximize = at(rt::PROP_Maximize), moved = at(rt::PROP_XPos), none = opened.sets.end();
    EXPECT_TRUE(maximize == none || moved == none || maximize < moved) << "un-maximized before it is moved";
  }
  EXPECT_TRUE(Asserts().empty()) << "a missing index is not an error";
}

// ---- Sectors ----

TEST_F(IniTest, DollarEscapingBothWays) {
  const std::pair<const char*, const char*> rows[] = {
      {"", ""}, {"ab", "ab"}, {"a$b", "a$$$b"}, {"$", "$$$"}, {"$$", "$$$$$$"}, {"a$", "a$$$"}};
  for (auto [plain, escaped] : rows) {
    EXPECT_EQ(AddDollar(plain), escaped) << plain;
    EXPECT_EQ(RemoveDollar(escaped), plain) << escaped;
  }
  EXPECT_EQ(RemoveDollar("a$b$$c") + " " + RemoveDollar("$$$$"), "a$b$$c $$") << "runs shorter than three stay";
  EXPECT_EQ(AddDollar(std::string(400, '$')).size(), 1024u);
}

TEST_F(IniTest, SectorNamesSplitAndBadOnesAssert) {
  EXPECT_EQ(ini.GetSector("Q", "a$b", "T"), "Q$a$$$b$$T");
  rt::CString<100> family, item, type;
  ASSERT_TRUE(ini.GetFamily("Q$a$$$b$$T", family, item, type));
  EXPECT_EQ(family.Str() + "|" + item.Str() + "|" + type.Str(), "Q|a$$$b|T");
  ASSERT_TRUE(ini.GetFamily(ini.GetSector("F", "x$", "Ty$pe"), family, item, type));
  EXPECT_EQ(item.Str() + "|" + type.Str(), "x$$$|Ty$pe") << "an item ending in $ still splits";
  for (const char* bad : {"QaT", "$a$$T", "Q$$$T", "Q$a$$", "Q$a$T"}) {
    rt::testing::ClearAssertionMessages();
    EXPECT_FALSE(ini.GetFamily(bad, family, item, type)) << bad;
    EXPECT_EQ(Asserts(), std::vector<std::string>{""}) << bad;
  }
}

// The index is kept sorted and unique, written by Kill, and read back sorted and unique.
TEST_F(IniTest, SectorIndexStaysSortedUniqueAndSurvivesKill) {
  for (const char* s : {"Query$zeta$$Browse", "Query$a$$$b$$Browse", "Alpha$x$$T", "Query$zeta$$Browse",
                        "Query$a$$$b$$Browse", "Query$m$$Form"})
    ini.AddSector(s);
  ini.AddSector("not a sector");  // reported, not indexed
  EXPECT_EQ(Asserts().size(), 1u);
  ini.Kill();
  EXPECT_EQ(Get("__Dont_Touch_Me__", "Sectors") + " " + Get("__Dont_Touch_Me__", "Sectors_2"), "4 Query,a$$$b,Browse");
  rt::PutIni("__Dont_Touch_Me__", "Sectors_1", "Query,zeta,Browse", file);  // hand-edited: out of order, twice

  INIClass again;
  again.Init(file);
  SectorQueue out;
  again.GetSectors("Query", "", "", out);
  EXPECT_EQ(Items(out), (std::vector<std::string>{"Query/a$b/Browse", "Query/m/Form", "Query/zeta/Browse"}));
  again.GetSectors("", "a$b", "", out);
  EXPECT_EQ(out.Q().Records(), 1) << "the item is matched unescaped";
  again.GetSectors("", "", "Browse", out);
  EXPECT_EQ(out.Q().Records(), 2);
}

// ---- Values, fields and queues ----

TEST_F(IniTest, AssertingFetchTryFetchAndFieldFetch) {
  ini.Update("S", "Name", "value");
  EXPECT_EQ(ini.Fetch("S", "Name") + "|" + ini.TryFetch("S", "Missing"), "value|");
  EXPECT_TRUE(Asserts().empty());
  EXPECT_EQ(ini.Fetch("S", "Missing"), "---Unknown---");
  EXPECT_EQ(Asserts(), std::vector<std::string>{"INI Assert: Could not find Missing in sector S of " + file});

  ini.Update("S", "Long", std::string(1500, 'x'));
  EXPECT_EQ(ini.Fetch("S", "Long").size() + ini.Fetch("S", "Long", "", file).size(), 999u + 1023u);

  rt::Long number = 42;
  ini.Fetch("S", "Missing", number);  // a missing key leaves the field as it was
  ini.Update("S", "N", "17 apples");
  rt::Long read = 0;
  ini.Fetch("S", "N", read);
  EXPECT_EQ(number * 100 + read, 4217);
  rt::FixedString<3> shortText("abc");
  ini.Fetch("S", "Name", shortText);
  EXPECT_EQ(shortText.Str(), "val");
}

TEST_F(IniTest, QueueRoundTripAppends) {
  struct Row { rt::Long id; rt::FixedString<10> name; rt::PackedDecimal<7, 2> amount; } row{};
  rt::Queue q(row);
  for (auto [id, name, amount] : {std::tuple{1, "one", "1.50"}, {2, "two", "-0.25"}, {3, "three", "0"}}) {
    row.id = id;
    row.name = name;
    ASSERT_TRUE(row.amount.Store(rt::Decimal::FromText(amount)));
    q.Add();
  }
  ini.UpdateQueue("Q", "Rows", q, row.id, row.name, row.amount);
  EXPECT_EQ(Get("Q", "Rows") + " " + Get("Q", "Rows_2"), "3 2,two,-0.25");

  rt::Queue back(row);
  back.Add();  // already there: FetchQueue appends
  ini.FetchQueue("Q", "Rows", back, row.id, row.name, row.amount);
  ASSERT_EQ(back.Records(), 4);
  back.Get(3);
  EXPECT_EQ(std::to_string(row.id) + row.name.Str() + row.amount.Load()->ToString(), "2two-0.25");
}

// Two threads adding to one index: every name once, in order (the lock keeps the queue whole).
TEST_F(IniTest, ConcurrentAddSectorKeepsTheIndexWhole) {
  auto adder = [&](int offset) {  // 1000..1599, every other number from each thread
    for (int i = 0; i < 300; ++i) ini.AddSector("F$" + std::to_string(1000 + 2 * i + offset) + "$$T");
  };
  std::thread a(adder, 0), b(adder, 1);
  a.join();
  b.join();
  SectorQueue out;
  ini.GetSectors("", "", "", out);
  const std::vector<std::string> items = Items(out);  // "F/<number>/T": sorted as the numbers
  EXPECT_TRUE(std::is_sorted(items.begin(), items.end()));
  EXPECT_EQ(std::set<std::string>(items.begin(), items.end()).size(), 600u);
  EXPECT_EQ(items.size(), 600u);
}

}  // namespace
