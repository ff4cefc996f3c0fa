// A query's filter installed the way a browse installs it (the view manager's named filter
// "9 - QBE", then ApplyFilter) over a keyed file of 10 000 records: it gives exactly the rows a
// hand-written filter gives, and both give what the records say. Among the records are names
// made of quotes, SQL words, '?' and '*', which only a literal match finds; a query that matches
// nothing gives an empty view, never an error.

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/data/view_manager.h"
#include "framework/query/query_class.h"
#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/data/view.h"
#include "tests/framework/data/data_fixture.h"
#include "tests/support/param_names.h"

namespace testdict {
namespace {

struct ART_Record {
  rt::Long ID = 0;
  rt::FixedString<30> NAME;
  rt::Long PRICE = 0;
  rt::FixedString<20> CITY;
};

const rt::RecordLayout& ArticleLayout() {
  static const rt::RecordLayout layout(sizeof(ART_Record), {rt::LayoutField("ART:ID", &ART_Record::ID),
                                                           rt::LayoutField("ART:NAME", &ART_Record::NAME),
                                                           rt::LayoutField("ART:PRICE", &ART_Record::PRICE),
                                                           rt::LayoutField("ART:CITY", &ART_Record::CITY)});
  return layout;
}

rt::FileDecl ArticleDecl(const std::string& directory) {
  rt::FileDecl decl;
  decl.label = "Article";
  decl.driver = rt::kKeyedDriver;
  decl.name = directory + "/article";
  decl.layout = &ArticleLayout();
  decl.keys = {{"ART:IDKey", {{1, true}}, true, false, false, true}};
  decl.create = true;
  return decl;
}

constexpr int kArticles = 10000;
const char* const kOddNames[] = {"x' OR '1'='1", "a?c", "a*b", "SELECT * FROM Article", "O'Brien", "'; DROP TABLE Article; --"};
const char* const kCities[] = {"Rome", "rome", "Paris", "PARIS", "Oslo"};

ART_Record MakeArticle(int i) {
  ART_Record r;
  r.ID = i + 1;
  char name[32];
  std::snprintf(name, sizeof name, "Item %04d", i);
  r.NAME = i % 7 == 0 ? kOddNames[(i / 7) % 6] : name;
  r.PRICE = (i * 37) % 101;
  r.CITY = kCities[i % 5];
  return r;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

struct ViewCase {
  const char* reason;
  std::vector<std::pair<const char*, std::string>> typed;  // field, single value
  std::string low, high;                                    // a range on ART:PRICE
  const char* handWritten;
  std::function<bool(const ART_Record&)> keep;
};

class QueryOverView : public DataTest, public ::testing::WithParamInterface<ViewCase> {
 protected:
  QueryOverView() : articleDecl_(ArticleDecl(temp_.Path().string())) {
    articleFile_ = std::make_unique<rt::File>(articleDecl_, ART);
    article_ = std::make_unique<TestAccess>(*articleFile_, errors_, std::vector<TestAccess::KeySpec>{{1, "", false}}, 1);
    relArticle_ = std::make_unique<TestRelate>();
  }
  ~QueryOverView() override {
    vm_.Kill();
    relArticle_->Kill();
    article_->Kill();
  }
  void SetUp() override {
    DataTest::SetUp();
    ART_Record record;
    rt::File file(articleDecl_, record);
    file.Create();
    file.Open();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
    rt::File* files[] = {&file};
    rt::Logout(1, files);
    for (int i = 0; i < kArticles; ++i) {
      record = MakeArticle(i);
      file.Add();
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
    }
    rt::Commit();
    file.Close();
    article_->Init();
    relArticle_->Init(*article_, 1);
    vm_.Init(*relArticle_);
    vm_.AddSortOrder(1);
  }
  // The ids the view gives with `filter` installed under `id` (and no other filter).
  std::vector<rt::Long> Rows(const std::string& filter, std::string_view id) {
    vm_.SetFilter("", kQueryFilterId);
    vm_.SetFilter("", kStandardFilterId);
    vm_.SetFilter(filter, id);
    vm_.Open();
    vm_.ApplyFilter();
    vm_.Reset();
    std::vector<rt::Long> ids;
    while (vm_.Next() == Level::Ok) ids.push_back(ART.ID);
    return ids;
  }

  rt::FileDecl articleDecl_;
  ART_Record ART;
  std::unique_ptr<rt::File> articleFile_;
  std::unique_ptr<TestAccess> article_;
  std::unique_ptr<TestRelate> relArticle_;
  ViewManager vm_;
};

class ArticleQuery : public QueryClass {
 public:
  ArticleQuery() {
    Init("Articles", nullptr, nullptr);
    AddItem("ART:NAME", "Name", "S30");
    AddItem("ART:PRICE", "Price", "N3");
    AddItem("ART:CITY", "City", "S20");
  }
  rt::Byte Kind() const override { return QueryKind::Range; }
};

TEST_P(QueryOverView, TheQueryGivesTheRowsOfTheHandWrittenFilter) {
  const ViewCase& c = GetParam();
  ArticleQuery query;
  for (const auto& [field, value] : c.typed) ASSERT_TRUE(query.SetValues(field, value));
  if (!c.low.empty() || !c.high.empty()) query.SetValues("ART:PRICE", "", c.low, c.high);
  const std::string filter = query.GetFilter();
  ASSERT_FALSE(filter.empty());

  std::vector<rt::Long> expected;
  for (int i = 0; i < kArticles; ++i)
    if (c.keep(MakeArticle(i))) expected.push_back(i + 1);
  const std::vector<rt::Long> byQuery = Rows(filter, kQueryFilterId);
  EXPECT_EQ(rt::ErrorCode(), 33) << "read to the end: " << rt::Error();
  EXPECT_EQ(byQuery, expected) << filter;
  EXPECT_EQ(Rows(c.handWritten, kStandardFilterId), expected) << c.handWritten;
  EXPECT_TRUE(ShownTitles().empty()) << "no error was reported for " << filter;
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
}

bool Named(const ART_Record& r, std::string_view name) { return r.NAME.Clipped() == name; }

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryOverView,
    ::testing::Values(
        ViewCase{"1 contains", {{"ART:NAME", "*17"}}, "", "", "INSTRING('17', ART:NAME, 1, 1) > 0",
                 [](const ART_Record& r) { return r.NAME.Clipped().find("17") != std::string_view::npos; }},
        ViewCase{"2 begins", {{"ART:NAME", "Item 12*"}}, "", "", "SUB(ART:NAME, 1, 7) = 'Item 12'",
                 [](const ART_Record& r) { return r.NAME.Clipped().starts_with("Item 12"); }},
        ViewCase{"3 a price range", {}, "10", "20", "ART:PRICE > 10 AND ART:PRICE < 20",
                 [](const ART_Record& r) { return r.PRICE > 10 && r.PRICE < 20; }},
        ViewCase{"4 at least", {{"ART:PRICE", ">=95"}}, "", "", "ART:PRICE >= 95",
                 [](const ART_Record& r) { return r.PRICE >= 95; }},
        ViewCase{"5 not equal", {{"ART:PRICE", "~5"}}, "", "", "NOT ART:PRICE = 5",
                 [](const ART_Record& r) { return r.PRICE != 5; }},
        ViewCase{"6 caseless", {{"ART:CITY", "^rome"}}, "", "", "UPPER(ART:CITY) = 'ROME'",
                 [](const ART_Record& r) { return Upper(r.CITY.Clipped()) == "ROME"; }},
        ViewCase{"7 with case", {{"ART:CITY", "rome"}}, "", "", "ART:CITY = 'rome'",
                 [](const ART_Record& r) { return r.CITY.Clipped() == "rome"; }},
        ViewCase{"8 a quote", {{"ART:NAME", "O'Brien"}}, "", "", "ART:NAME = 'O''Brien'",
                 [](const ART_Record& r) { return Named(r, "O'Brien"); }},
        ViewCase{"9 an injected condition", {{"ART:NAME", "x' OR '1'='1"}}, "", "", "ART:NAME = 'x'' OR ''1''=''1'",
                 [](const ART_Record& r) { return Named(r, "x' OR '1'='1"); }},
        ViewCase{"10 SQL words", {{"ART:NAME", "'; DROP TABLE Article; --"}}, "", "",
                 "ART:NAME = '''; DROP TABLE Article; --'",
                 [](const ART_Record& r) { return Named(r, "'; DROP TABLE Article; --"); }},
        ViewCase{"11 an inner star", {{"ART:NAME", "a*b"}}, "", "", "ART:NAME = 'a*b'",
                 [](const ART_Record& r) { return Named(r, "a*b"); }},
        ViewCase{"12 a question mark", {{"ART:NAME", "a?c"}}, "", "", "ART:NAME = 'a?c'",
                 [](const ART_Record& r) { return Named(r, "a?c"); }},
        ViewCase{"13 contains a quote", {{"ART:NAME", "*'"}}, "", "", "INSTRING('''', ART:NAME, 1, 1) > 0",
                 [](const ART_Record& r) { return r.NAME.Clipped().find('\'') != std::string_view::npos; }},
        ViewCase{"14 contains a star", {{"ART:NAME", "*a*b"}}, "", "", "INSTRING('a*b', ART:NAME, 1, 1) > 0",
                 [](const ART_Record& r) { return r.NAME.Clipped().find("a*b") != std::string_view::npos; }},
        ViewCase{"15 three fields", {{"ART:NAME", "*1"}, {"ART:CITY", "^paris"}, {"ART:PRICE", "<50"}}, "", "",
                 "INSTRING('1', ART:NAME, 1, 1) > 0 AND UPPER(ART:CITY) = 'PARIS' AND ART:PRICE < 50",
                 [](const ART_Record& r) {
                   return r.NAME.Clipped().find('1') != std::string_view::npos && Upper(r.CITY.Clipped()) == "PARIS" &&
                          r.PRICE < 50;
                 }},
        ViewCase{"16 nothing matches", {{"ART:NAME", "no such article"}}, "", "", "ART:NAME = 'no such article'",
                 [](const ART_Record&) { return false; }},
        ViewCase{"17 words on a number field match nothing", {{"ART:PRICE", "1 OR 1=1"}}, "", "", "ART:PRICE = -1",
                 [](const ART_Record&) { return false; }}),
    ByReason{});

}  // namespace
}  // namespace testdict
