// The window model on one thread, without a backend: definitions and numbering, the list
// format and popup-menu grammars, bindings, and the accept-loop rules that need no user.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/core/assert.h"
#include "runtime/core/date_time.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/input_sink.h"
#include "runtime/ui/popup_menu.h"
#include "runtime/ui/target.h"
#include "runtime/ui/window.h"

namespace rt {
namespace {

// Takes every event queued now, running each one's default handling before the next.
std::vector<EventRecord> Drain(Window& window) {
  std::vector<EventRecord> seen;
  for (;;) {
    PumpPending();
    if (!window.IsOpen() || !window.HasPendingEvent()) break;
    if (!window.Accept()) break;
    seen.push_back(window.CurrentEvent());
  }
  return seen;
}

std::vector<std::string> Names(const std::vector<EventRecord>& events) {
  std::vector<std::string> names;
  for (const EventRecord& e : events) names.push_back(EventName(e.code) + (e.control ? ":" + std::to_string(e.control) : ""));
  return names;
}

// ---- 1. Definitions ----

TEST(WindowDefinition, NumbersControlsMenusAndToolbarByTheirOwnRules) {
  WindowDef def;
  EXPECT_EQ(def.Add(ControlDef::MenuBar()), -1);
  EXPECT_EQ(def.Add(ControlDef::Menu("&Browse").In(-1)), -2);
  EXPECT_EQ(def.Add(ControlDef::String("a")), 1);
  EXPECT_EQ(def.Add(ControlDef::Button("&Insert").Toolbar(3001)), 3001);
  EXPECT_EQ(def.Add(ControlDef::Item("Exit").In(-2).StdClose()), -3);
  EXPECT_EQ(def.Add(ControlDef::Button("OK")), 2) << "toolbar controls do not use up ordinary numbers";

  Window window(def);
  ASSERT_TRUE(window.Open());
  // The runtime's control order is declaration order, whatever the numbers.
  std::vector<std::string> order;
  for (std::string next = window.GetProp(PROP_NextControl, 0); next != "0";
       next = window.GetProp(PROP_NextControl, std::stol(next)))
    order.push_back(next);
  EXPECT_EQ(order, (std::vector<std::string>{"-1", "-2", "1", "3001", "-3", "2"}));
}

// ---- 2. List format strings ----

TEST(ListFormat, ReadsTheBrowseFormatColumnByColumnAndRefusesMalformedText) {
  const auto columns = ParseListFormat(
      "64R(2)|M~ID~C(0)@n-14@80L(2)|M~Astring~L(2)@s20@48D(14)|M~Adecimal~C(0)@n-10.2@"
      "80R(2)|M~Adate~C(0)@d17@80R(2)|M~Atime~C(0)@t7@");
  ASSERT_TRUE(columns);
  // width, alignment, indent, heading, its alignment, picture, field; every column resizable with a border
  const auto shown = [](const ListColumn& c) {
    return std::to_string(c.width) + c.alignment + std::to_string(c.indent) + " " + c.heading + " " + c.headingAlignment +
           " " + c.picture + " #" + std::to_string(c.fieldNo) + (c.resizable && c.rightBorder ? "" : " fixed");
  };
  std::vector<std::string> seen;
  for (const ListColumn& c : *columns) seen.push_back(shown(c));
  EXPECT_EQ(seen, (std::vector<std::string>{"64R2 ID C @n-14 #1", "80L2 Astring L @s20 #2", "48D14 Adecimal C @n-10.2 #3",
                                            "80R2 Adate C @d17 #4", "80R2 Atime C @t7 #5"}));
  const auto history = ParseListFormat("217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@");
  ASSERT_TRUE(history);
  EXPECT_EQ(std::to_string((*history)[0].scrollWidth) + " " + std::to_string((*history)[1].headingIndent), "255 1");
  const auto numbered = ParseListFormat("20L#3#20L");
  ASSERT_TRUE(numbered);
  EXPECT_EQ((*numbered)[1].fieldNo, 4) << "#3#, and a column without #n# follows the previous one's field";

  // No width, no alignment, heading, picture or indent unclosed, an unknown modifier.
  for (const char* bad : {"L(2)", "64X", "64L~ID", "64L@n5", "64L(2", "64L%"}) {
    std::string error;
    EXPECT_FALSE(ParseListFormat(bad, &error) || error.empty()) << bad;
  }
  EXPECT_TRUE(ParseListFormat("")) << "an empty format is a list without columns";
}

// ---- 3. Popup menu text ----

TEST(PopupMenuText, NumbersOnlyChoosableEntriesReadsMarksAndRefusesUnbalancedBraces) {
  struct Case { const char* text; std::vector<std::string> numbered; };
  const Case cases[] = {
      {"A|B{C|D}|E", {"A", "C", "D", "E"}},
      {"|A|B{C|D}E", {"A", "C", "D", "E"}},  // the form menu builders write: leading bar, no bar after '}'
      {"&Insert|-|&Change|~&Delete", {"&Insert", "&Change", "&Delete"}},
      {"X[31848(~a.ico),31290(1)]|Y", {"X", "Y"}},  // the extras block is not part of the text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto menu = ParsePopupMenu(c.text);
    ASSERT_TRUE(menu);
    std::vector<std::string> numbered;
    for (Long n = 1; const ui::PopupEntry* entry = FindPopupEntry(*menu, n); ++n) numbered.push_back(entry->text);
    EXPECT_EQ(numbered, c.numbered);
  }
  const auto menu = ParsePopupMenu("~+Save|-Print|-");
  ASSERT_TRUE(menu && menu->size() == 3u);
  EXPECT_TRUE((*menu)[0].disabled && (*menu)[0].checked && (*menu)[0].text == "Save" && (*menu)[1].unchecked && (*menu)[2].separator);
  // A disabled item cannot be chosen; separators are never numbered.
  EXPECT_EQ((std::vector<bool>{IsChoosable(*menu, 1), IsChoosable(*menu, 2), IsChoosable(*menu, 3)}), (std::vector<bool>{false, true, false}));
  for (const char* bad : {"A{B", "A}B", "{A}", ""}) EXPECT_FALSE(ParsePopupMenu(bad)) << bad;
}

// ---- 4. Bindings: what leaving an entry stores ----

TEST(Binding, StoresDeformattedTextOrLeavesTheVariableAlone) {
  Long id = 7;
  Decimal amount = Decimal::Declared(7, 2);
  CString<4> shortText("x");
  PackedDecimal<5, 2> packed;
  struct Case { const char* name; BindingPtr binding; const char* plain; bool stored; const char* text; };
  const Case cases[] = {
      {"long rounds", Bind(id), "12.5", true, "13"},
      {"long too big", Bind(id), "3000000000", false, "13"},
      {"long not a number", Bind(id), "12x", false, "13"},
      {"decimal rounds to its places", Bind(amount), "12345.678", true, "12345.68"},
      {"cstring keeps room for the zero", Bind(shortText), "wxyz", true, "wxy"},
      {"packed decimal", Bind(packed), "-123.456", true, "-123.46"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.binding->SetFromText(c.plain), c.stored) << c.name;
    EXPECT_EQ(c.binding->Text(), c.text) << c.name;
  }
  EXPECT_EQ(Bind(amount)->Format("@n-10.2"), " 12,345.68");
}

// ---- 5. Accept-loop rules on one thread ----

class OneThreadWindow : public ::testing::Test {
 protected:
  void SetUp() override { rt::testing::ClearAssertionMessages(); }
  ThreadScope scope_;  // the test thread is a program thread for the test
};

// Selecting a control that cannot hold the focus selects the next that can, past the last one
// the first.
TEST_F(OneThreadWindow, OpensWithOpenWindowSizedAndTheFirstFocusableControlSelected) {
  Long value = 0;
  WindowDef def;
  def.title = "Order";
  const Long label = def.Add(ControlDef::String("Name:"));
  def.Add(ControlDef::Entry("@n5", Bind(value)).Disabled());
  const Long entry = def.Add(ControlDef::Entry("@n5", Bind(value)));
  const Long trailing = def.Add(ControlDef::String("after everything"));
  Window window(def);
  ASSERT_TRUE(window.Open());
  EXPECT_EQ(TargetTitle(), "Order") << "an open window is its thread's target";
  EXPECT_EQ(Names(Drain(window)), (std::vector<std::string>{"OpenWindow", "Sized", "Selected:3"}));
  window.Select(trailing);
  EXPECT_EQ(window.FocusedControl(), entry);
  window.Select(label);
  EXPECT_EQ(window.FocusedControl(), entry);
  EXPECT_EQ(Names(Drain(window)), (std::vector<std::string>{"Selected:3", "Selected:3"}));
  window.Close();
  EXPECT_EQ(TargetTitle(), "") << "closing restores the target";
}

// A handled close (the user chose to keep editing) or a handled press of the standard close
// button keeps the window; unhandled, the close action follows and ends the loop.
TEST_F(OneThreadWindow, HandledCloseKeepsTheWindowAndUnhandledCloseEndsTheLoop) {
  WindowDef def;
  const Long ok = def.Add(ControlDef::Button("&OK").StdClose());
  Window window(def);
  window.Open();
  Drain(window);
  window.Post(EVENT_CloseWindow);
  ASSERT_TRUE(window.Accept());
  window.SetHandled();
  window.Post(EVENT_Accepted, ok);
  ASSERT_TRUE(window.Accept());
  EXPECT_EQ(window.CurrentEvent().code, EVENT_Accepted) << "a handled close must skip the default close";
  window.SetHandled();
  EXPECT_TRUE(Drain(window).empty()) << "handled: no close follows the press";
  window.Post(EVENT_Accepted, ok);
  ASSERT_TRUE(window.Accept());
  ASSERT_TRUE(window.Accept()) << "not handled: the close action follows";
  EXPECT_EQ(window.CurrentEvent().code, EVENT_CloseWindow);
  EXPECT_FALSE(window.Accept()) << "an unhandled close closes the window";
  EXPECT_FALSE(window.IsOpen());
}

TEST_F(OneThreadWindow, AcceptAllStopsAtTheFirstInvalidEntry) {
  Long a = 1, c = 3;
  FixedString<10> b;
  Long date = 0;
  WindowDef def;
  def.Add(ControlDef::Entry("@n5", Bind(a)));
  const Long eb = def.Add(ControlDef::Entry("@s10", Bind(b)).Required());
  const Long ed = def.Add(ControlDef::Entry("@d17", Bind(date)));
  def.Add(ControlDef::Entry("@n5", Bind(c)));
  Window window(def);
  window.Open();
  Drain(window);

  // Required and empty: the pass accepts the entries before it and selects it.
  window.Select();
  EXPECT_EQ(window.GetProp(PROP_AcceptAll), "1");
  EXPECT_EQ(Names(Drain(window)), (std::vector<std::string>{"Accepted:1", "Selected:2"}));
  EXPECT_EQ(window.FocusedControl(), eb);
  EXPECT_EQ(window.GetProp(PROP_AcceptAll), "") << "the pass is over once its last event is handed out";

  // A date that does not exist: rejected, selected, the later entry never accepted.
  b = "filled";
  window.FindControl(ed)->SetEditText("02/30/2026");
  window.Select();
  EXPECT_EQ(Names(Drain(window)), (std::vector<std::string>{"Accepted:1", "Accepted:2", "Rejected:3", "Selected:3"}));
  EXPECT_EQ(date, 0) << "a rejected text leaves the variable as it was";

  window.FindControl(ed)->SetEditText("02/28/2026");
  window.Select();
  EXPECT_EQ(Names(Drain(window)),
            (std::vector<std::string>{"Accepted:1", "Accepted:2", "Accepted:3", "Accepted:4", "Completed"}));
  EXPECT_EQ(date, DateFromCivil(2026, 2, 28));
}

TEST_F(OneThreadWindow, AToolbarButtonLeavesTheEntryButKeepsTheFocusThere) {
  Long value = 0;
  WindowDef def;
  const Long entry = def.Add(ControlDef::Entry("@n5", Bind(value)));
  const Long ok = def.Add(ControlDef::Button("&OK"));
  const Long history = def.Add(ControlDef::Button("History").Toolbar(3012));
  Window window(def);
  window.Open();
  Drain(window);
  window.TakeInput({ui::InputKind::Type, 0, entry, 0, 0, 0, "42", 0});
  window.TakeInput({ui::InputKind::Press, 0, history, 0, 0, 0, {}, 0});
  EXPECT_EQ(Names(Drain(window)), (std::vector<std::string>{"Accepted:1", "Accepted:3012"}));
  EXPECT_EQ(value, 42) << "the typed value was taken before the button acted";
  EXPECT_EQ(window.FocusedControl(), entry) << "the toolbar button acts on the field, which keeps the focus";
  window.TakeInput({ui::InputKind::Press, 0, ok, 0, 0, 0, {}, 0});
  EXPECT_EQ(window.FocusedControl(), ok) << "a window's own button takes the focus";
}

// Which tab's controls show is the conformance suite's; hiding the tab itself hides them too.
TEST_F(OneThreadWindow, HidingATabHidesItsControls) {
  WindowDef def;
  const Long tab = def.Add(ControlDef::Tab("&1) General").In(def.Add(ControlDef::Sheet())));
  const Long onTab = def.Add(ControlDef::Button("A").In(tab));
  Window window(def);
  window.Open();
  EXPECT_EQ(window.GetProp(onTab, PROP_Visible, 0), "1");
  window.Hide(tab);
  EXPECT_EQ(window.GetProp(onTab, PROP_Visible, 0), "");
}

// A pass reads only the rows on screen: a million-row virtual list is asked for one page, and
// moving the selection far down reads the page there, not the rows between. Column properties
// follow the format and change by number.
TEST_F(OneThreadWindow, AListPassReadsOnlyTheShownPageAndItsColumnsChangeByNumber) {
  WindowDef def;
  const Long list = def.Add(ControlDef::List("40L~ID~@n9@40L~Name~").At(0, 0, 100, 60));  // heading + 5 rows
  Window window(def);
  window.Open();
  std::vector<Long> asked;
  window.SetVirtualList(list, [&](Long row, Long column) -> std::string {
    if (row == -1) return "1000000";
    if (row > 0) asked.push_back(row);
    return std::to_string(row * 10 + column);
  });
  EXPECT_EQ(asked, (std::vector<Long>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5})) << "the first page, two columns a row";
  asked.clear();
  window.Display();
  EXPECT_EQ(asked.size(), 10u) << "a pass with nothing changed still costs one page";
  asked.clear();
  window.SetProp(list, PROP_Selected, "500000", 0);
  window.Display(list);
  EXPECT_EQ(asked, (std::vector<Long>{499996, 499996, 499997, 499997, 499998, 499998, 499999, 499999, 500000, 500000}))
      << "the page that holds the selection";
  const ui::ListRowsView page = window.FindControl(list)->Rows();
  EXPECT_EQ(page.first, 499996);
  EXPECT_EQ(page.total, 1000000);
  EXPECT_EQ(page.rows.back(), (std::vector<std::string>{"5,000,001", "5000002"})) << "through the first column's picture";

  EXPECT_EQ(window.GetProp(list, LISTCOL_Format, 0), "2") << "index 0 counts the columns";
  EXPECT_EQ(window.GetProp(list, LISTCOL_Header, 2), "Name");
  EXPECT_EQ(window.GetProp(list, LISTCOL_Picture, 1), "@n9");
  EXPECT_EQ(window.GetProp(list, LISTCOL_Header, 3), "") << "no column 3";
  window.SetProp(list, LISTCOL_Picture, "@n05", 1);
  EXPECT_EQ(window.FindControl(list)->CellText(2, 1), "00021") << "the changed picture shows the value";
  EXPECT_EQ(window.FindControl(list)->CellText(1000001, 1), "") << "no row past the last";
}

// What the screen is told about an entry's text, in order.
class TextRecorder final : public ui::Backend {
 public:
  bool Start() override { return true; }
  void Stop() override {}
  bool IsStarted() const override { return true; }
  int RunProgram(std::function<void()>) override { return 0; }
  Long ShowMessageBox(const MessageBoxRequest& request) override { return request.escapeValue; }
  StopAnswer ShowStop(const StopRequest&) override { return StopAnswer::GoOn; }
  void SetProperty(ui::WindowId, Long control, const ui::PropertyValue& value) override {
    if (value.property == PROP_Text) told.push_back(std::to_string(control) + "=" + value.value);
  }
  std::vector<std::string> told;
};

// Typed text is never sent back to the screen while the user types (a late echo would
// overwrite keys typed since); leaving the entry shows the value through its picture.
TEST_F(OneThreadWindow, TypedTextIsNotEchoedAndLeavingShowsTheValueByItsPicture) {
  TextRecorder screen;
  ui::InstallBackend(&screen);
  Long value = 7;
  WindowDef def;
  const Long entry = def.Add(ControlDef::Entry("@n5", Bind(value)));
  def.Add(ControlDef::Button("&OK"));
  Window window(def);
  window.Open();
  Drain(window);
  screen.told.clear();
  for (const char* typed : {"1", "12", "123"}) ui::SendInput({ui::InputKind::Type, window.Id(), entry, 0, 0, 0, typed, 0});
  Drain(window);
  EXPECT_TRUE(screen.told.empty()) << "echoed: " << screen.told.front();
  ui::SendInput({ui::InputKind::Key, window.Id(), entry, KEY_Tab, 0, 0, {}, 0});
  Drain(window);
  EXPECT_EQ(screen.told, (std::vector<std::string>{"1=  123"}));
  EXPECT_EQ(value, 123);
  window.Close();
  ui::InstallBackend(nullptr);
}

TEST_F(OneThreadWindow, AControlMadeWhileOpenIsDestroyedByItsNumberAndAnUnknownNumberIsIgnored) {
  Long value = 0;
  WindowDef def;
  def.Add(ControlDef::Button("&OK"));
  Window window(def);
  window.Open();
  const Long made = window.CreateControl(ControlDef::Entry("@n5", Bind(value)));
  ASSERT_NE(window.FindControl(made), nullptr);
  window.DestroyControl(99);
  window.DestroyControl(made);
  EXPECT_EQ(window.FindControl(made), nullptr);
  EXPECT_NE(window.FindControl(1), nullptr);
}

TEST_F(OneThreadWindow, AlertSlotsOutsideTheRangeAreProgrammingErrorsAndPostsWithoutAnInboxFail) {
  EXPECT_FALSE(Post(EVENT_Accepted, 0, 9999));
  EXPECT_FALSE(Post(EVENT_Accepted)) << "no window open on this thread";
  WindowDef def;
  Window window(def);
  window.Open();
  for (const Long slot : {255, 256, 0}) window.SetProp(0, PROP_Alrt, "46", slot);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 2u);
  EXPECT_EQ(window.GetProp(PROP_Alrt, 0), "1") << "only slot 255 was set";
}

}  // namespace
}  // namespace rt
