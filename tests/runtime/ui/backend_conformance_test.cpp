// What every Backend must do the same way, run over each backend built into this binary:
// headless always, Qt (offscreen platform) when the tree is built with Qt. The lifecycle first;
// then the windows, played by a user of that backend: the Robot on headless, real key presses
// and clicks on Qt. The program runs on program threads through RunProgram; the user acts from
// a thread of its own, as a person at the screen would.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <sstream>

#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/picture.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/window.h"
#include "tests/runtime/ui/conformance_user.h"
#include "tests/runtime/ui/robot_fixture.h"
#ifdef QUIBBET_WITH_QT
#include "runtime/ui/qt/qt_backend.h"
#include "tests/runtime/ui/qt_user.h"
#endif

namespace rt::ui {
namespace {

// The side under test is named by the parameter: "Headless", or "Qt" when built with it.
std::unique_ptr<Backend> MakeBackend([[maybe_unused]] const std::string& side) {
#ifdef QUIBBET_WITH_QT
  static int argc = 1;
  static char program[] = "rt_ui_backend_conformance_test";
  static char* argv[] = {program, nullptr};
  if (side == "Qt") return MakeQtBackend(argc, argv);
#endif
  return MakeHeadlessBackend();
}

std::unique_ptr<User> MakeUser([[maybe_unused]] const std::string& side, Backend& backend) {
#ifdef QUIBBET_WITH_QT
  if (side == "Qt") return std::make_unique<QtUser>();
#endif
  return std::make_unique<HeadlessUser>(backend);
}

// ---- Lifecycle ----

class BackendConformance : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { rt::testing::ClearAssertionMessages(); }
  void TearDown() override {
    backend_->Stop();
    InstallBackend(nullptr);
  }
  std::unique_ptr<Backend> backend_ = MakeBackend(GetParam());
};

// A dialog raised while no UI runs must not block its thread. A restarted backend runs a program:
// the entry on a program thread, and RunProgram returns only when the threads it starts have
// ended too.
TEST_P(BackendConformance, DialogsWhileStoppedReturnAtOnceAndASecondStartOrARunWhileStoppedIsRefused) {
  EXPECT_EQ(backend_->ShowMessageBox(MakeMessageBoxRequest("Save?", "Edit", "", "68", BUTTON_NO, 0)), BUTTON_CANCEL);
  EXPECT_EQ(backend_->ShowStop(StopRequest{"Exit?"}), StopAnswer::GoOn);
  ASSERT_TRUE(backend_->Start());
  EXPECT_FALSE(backend_->Start());
  EXPECT_TRUE(backend_->IsStarted()) << "a refused start must not undo the first";
  backend_->Stop();
  backend_->Stop();  // stopping a stopped backend does nothing
  EXPECT_FALSE(backend_->IsStarted());
  std::atomic<bool> ran{false};
  EXPECT_EQ(backend_->RunProgram([&] { ran = true; }), kRunProgramRefusedExitCode) << "stopped: runs nothing";
  EXPECT_FALSE(ran);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 2u) << "the second start and the run while stopped are reported";
  ASSERT_TRUE(backend_->Start());
  std::atomic<Long> entryThread{0};
  std::promise<void> entryEnding;
  EXPECT_EQ(backend_->RunProgram([&, entryEnded = entryEnding.get_future().share()] {
              entryThread = Thread();
              Start([&, entryEnded] { entryEnded.wait(); ran = true; });  // outlives the entry
              entryEnding.set_value();
            }),
            0);
  EXPECT_NE(entryThread, 0) << "the entry must run on a program thread";
  EXPECT_TRUE(ran);
}

// ---- Windows ----

class WindowConformance : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend_->Start());
    InstallBackend(backend_.get());
    user_ = MakeUser(GetParam(), *backend_);
  }
  void TearDown() override {
    user_.reset();
    InstallBackend(nullptr);
    backend_->Stop();
  }

  void Play(std::function<void()> program, const std::function<void(User&)>& script) {
    EXPECT_EQ(PlayProgram<User>(*backend_, *user_, std::move(program), script), 0);
  }

  // One window on the program thread (`handle` sees every event after the recorder); `script`
  // plays it once it is open.
  template <class Handle>
  void PlayWindow(WindowDef def, Recorder& events, Handle handle, const std::function<void(User&, WindowId)>& script) {
    const std::string title = def.title;
    Play([def = std::move(def), &events, handle]() mutable { RunWindow(def, events, handle); },
         [&](User& user) {
           const WindowId window = user.WaitForWindow(title);
           ASSERT_NE(window, 0u);
           script(user, window);
         });
  }

  std::unique_ptr<Backend> backend_ = MakeBackend(GetParam());
  std::unique_ptr<User> user_;
};

struct Fruit final : ListSource {
  Long RowCount() const override { return 3; }
  std::string Value(Long row, Long field) const override {
    static const char* names[] = {"Apple", "Banana", "Cherry"};
    return field == 1 ? std::to_string(row * 1500) : names[row - 1];
  }
};

// Esc never gives an affirmative answer: it presses Cancel, else No; a box of named buttons with
// neither stays open until a button is clicked. Which button that is, is the request's (its table
// is in test_runtime_services.cpp); here, that each screen presses it.
TEST_P(WindowConformance, EscOnAMessageBoxPressesCancelElseNoElseIsIgnored) {
  const struct {
    const char* buttons;
    bool escCloses;
    const char* thenPress;  // when Esc left the box open
    Long expected;
  } kRows[] = {
      {"&Accept|&Cancel", true, "", 2},       // 1: Cancel, not the first button
      {"&Yes|&No|&Maybe", true, "", 2},       // 2: No, without a Cancel
      {"&Keep|&Drop", false, "&Drop", 2},     // 3: neither: Esc does nothing
  };
  std::vector<Long> answers;
  WindowDef def = Titled("Esc");
  const Long ask = def.Add(ControlDef::Button("&Ask"));
  def.Add(ControlDef::Button("&Close").StdClose());
  Recorder events;
  std::size_t next = 0;
  PlayWindow(def, events, [&](Window& w) {
         if (w.CurrentEvent().code == EVENT_Accepted && w.CurrentEvent().control == ask && next < std::size(kRows))
           answers.push_back(MessageBox("Go?|Sure?", "Question", "", kRows[next++].buttons, 1));
       },
       [&](User& user, WindowId window) {
         for (const auto& row : kRows) {
           user.Click(window, ask);
           EXPECT_EQ(user.EscClosesMessageBox(), row.escCloses) << row.buttons;
           // Qt shows '|' as a line break; the program's text is what the headless box keeps.
           if (!row.escCloses) user.AnswerMessageBox(GetParam() == "Qt" ? "Go?\nSure?" : "Go?|Sure?", row.thenPress);
           user.WaitForWindow("Esc");
         }
         user.Click(window, 2);
       });
  ASSERT_EQ(answers.size(), std::size(kRows));
  for (std::size_t i = 0; i < std::size(kRows); ++i) EXPECT_EQ(answers[i], kRows[i].expected) << kRows[i].buttons;
}

// Tab walks the controls that can take the focus in their order, skipping hidden and disabled
// ones and the controls of a tab not selected, and leaves a sheet as any other control; a tab's
// controls show only while the tab is the sheet's selected one.
TEST_P(WindowConformance, TabSkipsHiddenAndDisabledControlsAndATabShowsOnlyItsOwnControls) {
  Long value = 0, first = 1, second = 2;
  WindowDef def = Titled("Tabs");
  const Long sheet = def.Add(ControlDef::Sheet().At(2, 2, 150, 60));
  const Long tab1 = def.Add(ControlDef::Tab("&One").In(sheet));
  const Long entry1 = def.Add(ControlDef::Entry("@n3", Bind(first)).In(tab1).At(8, 20, 30, 12));
  const Long tab2 = def.Add(ControlDef::Tab("&Two").In(sheet));
  const Long entry2 = def.Add(ControlDef::Entry("@n3", Bind(second)).In(tab2).At(8, 20, 30, 12));
  const Long button = def.Add(ControlDef::Button("&First").At(4, 70, 40, 14));
  def.Add(ControlDef::Button("&Hidden").Hidden().At(50, 70, 40, 14));
  const Long disabled = def.Add(ControlDef::Button("&Off").At(96, 70, 40, 14));
  const Long entry = def.Add(ControlDef::Entry("@n3", Bind(value)).At(4, 90, 30, 12));
  Recorder events;
  PlayWindow(def, events, [&](Window& w) { if (w.CurrentEvent().code == EVENT_OpenWindow) w.SetProp(disabled, PROP_Disable, "1", 0); },
       [&](User& user, WindowId window) {
         EXPECT_EQ(user.Focus(window), sheet) << "the first control that takes the focus";
         for (const Long expected : {entry1, button, entry, sheet}) {
           user.PressKey(window, 0, KEY_Tab);
           EXPECT_EQ(user.Focus(window), expected);
         }
         EXPECT_TRUE(user.IsShown(window, entry1));
         EXPECT_FALSE(user.IsShown(window, entry2));
         events.Take();
         user.SelectTab(window, sheet, 2);
         EXPECT_EQ(events.Take(), (Strings{"NewSelection:1"}));
         EXPECT_FALSE(user.IsShown(window, entry1));
         EXPECT_TRUE(user.IsShown(window, entry2));
       });
}

// Down moves an immediate list's selection; past the last row the program is told. Keys the
// program alerted reach it as PreAlertKey and AlertKey, whatever the widget would have done with
// them; so do mouse keys alerted on a list, where a double click that is not alerted accepts the
// row. At each mouse key the list tells where the mouse was: the row and column under it and the
// zone (a row's cell), so that a popup acts on the row right-clicked.
TEST_P(WindowConformance, DownPastAListsLastRowIsScrollDownAndAlertedKeysArriveAsAlertKeyEvents) {
  static const Fruit fruit;
  Long value = 0;
  const Long keys[] = {
      KEY_Insert, KEY_Delete, KEY_AppsKey,           // an entry ignores it, an entry acts on it, the menu key
      KEY_ShiftEnter, KEY_CtrlEnter, KEY_Ctrl + 'H',  // 269, 525, 584: a letter with Ctrl
  };
  WindowDef def = Titled("Alerts");
  const Long list = def.Add(ControlDef::List("40R(2)|~Price~C(0)@n-7@80L(2)~Name~@s10@").Immediate().At(4, 4, 150, 60));
  const Long entry = def.Add(ControlDef::Entry("@n-10", Bind(value)).At(4, 70, 60, 12));
  Recorder events(true);
  bool alerted = false;
  PlayWindow(def, events,
            [&](Window& w) {
              if (w.CurrentEvent().code == EVENT_OpenWindow) {
                w.SetListSource(list, &fruit);
                for (const Long key : keys) w.Alert(key);
              }
              if (w.CurrentEvent().code == EVENT_AlertKey && w.CurrentEvent().control == list)
                events.Note("at " + w.GetProp(list, PROP_MouseDownRow, 0) + "/" + w.GetProp(list, PROP_ClickedColumn, 0) + " zone " +
                            w.GetProp(list, PROP_MouseDownZone, 0));
              if (w.CurrentEvent().code == EVENT_Accepted && !alerted) {
                alerted = true;
                for (const Long key : {KEY_MouseRight, KEY_MouseRightUp, KEY_MouseLeft2})
                  w.SetProp(list, PROP_Alrt, std::to_string(key), key);
              }
            },
       [&](User& user, WindowId window) {
         events.Take();
         for (int press = 0; press < 4; ++press) user.PressKey(window, list, KEY_Down);
         EXPECT_EQ(events.Take(), (Strings{"NewSelection:1", "NewSelection:1", "NewSelection:1", "ScrollDown:1/40"}));
         user.ClickCell(window, list, 2, 1, User::Mouse::Double);
         EXPECT_EQ(events.Take(), (Strings{"NewSelection:1", "Accepted:1"})) << "not alerted: the row is accepted";
         user.ClickCell(window, list, 3, 1, User::Mouse::Double);
         Strings seen = events.Take();
         std::erase(seen, "NewSelection:1");
         EXPECT_EQ(seen, (Strings{"PreAlertKey:1/5", "AlertKey:1/5", "at 3/1 zone 2", "Accepted:1"}))
             << "alerted, and the PreAlertKey not handled: the double click still accepts, after the alert";
         user.ClickCell(window, list, 2, 2, User::Mouse::Right);
         EXPECT_EQ(events.Take(), (Strings{"PreAlertKey:1/2", "AlertKey:1/2", "at 2/2 zone 2", "PreAlertKey:1/130",
                                           "AlertKey:1/130", "at 2/2 zone 2"}))
             << "the row right-clicked, not the highlighted one (3)";
         user.ClickInto(window, entry);
         events.Take();
         for (const Long key : keys) {
           user.PressKey(window, entry, key);
           const std::string k = std::to_string(key);
           EXPECT_EQ(events.Take(), (Strings{"PreAlertKey:2/" + k, "AlertKey:2/" + k})) << "key " << key;
         }
       });
}

// ---- Every way into and out of an entry ----
//
// The table of docs/ARCHITECTURE.md ("Entering and leaving an entry"), one row per way. Each
// row plays a fresh form: a name entry (@s20, "DemoUser"), an amount (@n-14, 5), OK, a menu
// item, a popup on a right click at OK, and a second window on another thread whose button
// makes that thread post to the form. The form notes what its variables hold at each event
// it is given; a way out that lost the typed text shows in those notes.

struct WayIds {
  WindowId form = 0, other = 0;
};

struct Way {
  const char* name;
  // 'i': a way in, then "Alice" typed at the cursor and OK pressed ('q': the same, on Qt only, a
  // mnemonic); 'o': "Alice" typed over the name before the way out; '-': `act` types itself.
  char typing;
  std::function<void(User&, const WayIds&)> act;
  const char* notes;   // what the form noted, in any order (two screens may order a click differently)
  const char* values;  // the variables at each note but "refreshed"; the name is what its entry shows, unless closed
};

constexpr Long kWayName = 2, kWayAmount = 3, kWayOk = 4, kWayPost = 1;
using U = User&;
using W = const WayIds&;

const Way kWays[] = {
    // Ways in: typing goes after the text, never among the blanks the field is padded with.
    {"in 1: the form opening", 'i', [](U, W) {}, "taken ok end", "DemoUserAlice|5"},
    {"in 2: Tab round from the last control", 'i',
     [](U u, W w) { for (const Long from : {kWayName, kWayAmount, kWayOk}) u.PressKey(w.form, from, KEY_Tab); }, "taken ok end", "DemoUserAlice|5"},
    {"in 3: Shift+Tab", 'i', [](U u, W w) { u.ClickInto(w.form, kWayAmount); u.PressKey(w.form, kWayAmount, KEY_ShiftTab); }, "taken ok end", "DemoUserAlice|5"},
    {"in 4: a click in the middle", 'i', [](U u, W w) { u.ClickInto(w.form, kWayAmount); u.Click(w.form, kWayName); }, "taken ok end", "DemoUserAlice|5"},
    {"in 5: a mnemonic in the active window (its text selected, typing replaces it)", 'q', [](U u, W w) {
       u.Activate(w.form);
       u.ClickInto(w.form, kWayAmount);
       u.PressKey(w.form, kWayAmount, KEY_Alt + 'N');
     }, "taken ok end", "Alice|5"},
    // Ways out: the typed text is taken in before whatever the way out does.
    {"out 1: Tab", 'o', [](U u, W w) { u.PressKey(w.form, kWayName, KEY_Tab); }, "taken end", "Alice|5"},
    {"out 2: a click into another control", 'o', [](U u, W w) { u.ClickInto(w.form, kWayAmount); }, "taken end", "Alice|5"},
    {"out 3: a button", 'o', [](U u, W w) { u.Click(w.form, kWayOk); }, "taken ok end", "Alice|5"},
    {"out 4: a menu item", 'o', [](U u, W w) { u.ChooseMenu(w.form, -2, -3); }, "taken item end", "Alice|5"},
    {"out 5: a popup item", 'o', [](U u, W w) { u.RightClick(w.form, kWayOk); u.ChoosePopup("&Save"); }, "taken popup end", "Alice|5"},
    {"out 6: Esc (the program is asked to close over the change)", 'o', [](U u, W w) { u.PressKey(w.form, kWayName, KEY_Esc); }, "taken close end", "Alice|5"},
    {"out 7: the close box", 'o', [](U u, W w) { u.CloseBox(w.form); }, "taken close end", "Alice|5"},
    // Ways away and back: the text stays typed (the form resets on GainFocus and on a post).
    {"away 1: another thread's window to the front and back", 'o',
     [](U u, W w) { u.Activate(w.other); u.Activate(w.form); u.Click(w.form, kWayOk); }, "taken ok end", "Alice|5"},
    {"away 2: another thread's post, refreshing the form", 'o', [](U u, W w) { u.Click(w.other, kWayPost); u.Click(w.form, kWayOk); },
     "refreshed taken ok end", "Alice|5"},
    {"away 3: the program closing down", 'o', [](U, W) {}, "taken end", "Alice|5"},
    // Refused and cut: a picture's refusal keeps the text, selected; a field's size cuts typing.
    {"refused: the text stays selected and OK is refused until it is valid", '-', [](U u, W w) {
       u.ClickInto(w.form, kWayAmount);
       u.Type(w.form, kWayAmount, "12a");
       u.PressKey(w.form, kWayAmount, KEY_Tab);
       EXPECT_EQ(u.SelectedText(w.form, kWayAmount), "12a");
       EXPECT_EQ(u.Focus(w.form), kWayAmount) << "the refused entry keeps the focus";
       u.Click(w.form, kWayOk);
       EXPECT_EQ(u.Text(w.form, kWayAmount), "12a") << "the second OK is refused too, the text kept";
       u.Type(w.form, kWayAmount, "7");
       u.Click(w.form, kWayOk);
     }, "taken ok end", "DemoUser|7"},
    {"cut: typing stops at the field's size in bytes, at a whole character", '-', [](U u, W w) {
       u.Type(w.form, kWayName, "\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc");
       EXPECT_EQ(u.Text(w.form, kWayName), "\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4\u00f6\u00fc\u00e4");
       u.Type(w.form, kWayName, std::string(19, 'x') + "\u00e4");
       u.PressKey(w.form, kWayName, KEY_Tab);
     }, "taken end", "xxxxxxxxxxxxxxxxxxx|5"},
};

TEST_P(WindowConformance, EveryWayIntoAndOutOfAnEntryKeepsWhatWasTyped) {
  const bool qt = GetParam() == "Qt";
  for (const Way& way : kWays) {
    if (way.typing == 'q' && !qt) continue;
    SCOPED_TRACE(way.name);
    FixedString<20> name("DemoUser");
    Long amount = 5;
    WindowDef def = Titled("Ways");
    def.Add(ControlDef::Prompt("&Name:"));
    def.Add(ControlDef::Entry("@s20", Bind(name)).At(40, 4, 120, 12));            // kWayName
    def.Add(ControlDef::Entry("@n-14", Bind(amount)).At(40, 20, 60, 12));         // kWayAmount
    def.Add(ControlDef::Button("&OK").Default().At(40, 40, 40, 14));              // kWayOk
    def.Add(ControlDef::MenuBar());
    def.Add(ControlDef::Menu("&File").In(-1));                                    // -2
    def.Add(ControlDef::Item("&Save").In(-2));                                    // -3
    WindowDef otherDef = Titled("Other");
    otherDef.Add(ControlDef::Button("&Post"));
    Recorder notes;
    const auto note = [&](const char* what) { notes.Note(std::string(what) + ": " + name.Str() + "|" + std::to_string(amount)); };
    Play(
        [&] {
          const Long formThread = Thread();
          Start([&otherDef, formThread] {
            Window other(otherDef);
            other.Open();
            while (other.Accept())
              if (other.CurrentEvent().code == EVENT_Accepted) Notify(1, formThread);
          });
          Window form(def);
          form.Open();
          form.SetProp(kWayOk, PROP_Alrt, std::to_string(KEY_MouseRight), 1);
          while (form.Accept()) {
            const EventRecord& e = form.CurrentEvent();
            if (e.code == EVENT_Accepted && (e.control == kWayName || e.control == kWayAmount)) note("taken");
            if (e.code == EVENT_Accepted && e.control == kWayOk) note("ok");
            if (e.code == EVENT_Accepted && e.control == -3) note("item");
            if (e.code == EVENT_CloseWindow) note("close");
            if (e.code == EVENT_AlertKey && Popup("&Save") == 1) note("popup");
            // As the window manager resets its window: every control shown again.
            if (e.code == EVENT_GainFocus) form.Display();
            if (e.code == EVENT_Notify) {
              form.Display();
              notes.Note("refreshed");
            }
          }
          note("end");
        },
        [&](User& user) {
          SCOPED_TRACE(way.name);  // the script's own thread
          const WayIds ids{user.WaitForWindow("Ways"), user.WaitForWindow("Other")};
          ASSERT_TRUE(ids.form && ids.other);
          EXPECT_EQ(user.Text(ids.form, kWayName), "DemoUser") << "shown without the field's padding";
          if (way.typing == 'o') user.Type(ids.form, kWayName, "Alice");
          way.act(user, ids);
          if (way.typing == 'i' || way.typing == 'q') {
            user.TypeKeys(ids.form, kWayName, "Alice");
            user.Click(ids.form, kWayOk);
          }
          const std::string values = way.values;
          if (std::string_view(way.notes).find("close") != std::string_view::npos) EXPECT_TRUE(user.WaitForWindowClosed(ids.form));
          else EXPECT_EQ(user.Text(ids.form, kWayName), values.substr(0, values.find('|')));
        });
    Strings seen = notes.Take(), expected;
    std::istringstream words(way.notes);
    for (std::string word; words >> word;) expected.push_back(word == "refreshed" ? word : word + ": " + way.values);
    std::sort(seen.begin(), seen.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(seen, expected);
  }
}

const auto kSides = ::testing::Values("Headless"
#ifdef QUIBBET_WITH_QT
                                      , "Qt"
#endif
);
const auto kSideName = [](const auto& info) { return info.param; };
INSTANTIATE_TEST_SUITE_P(All, BackendConformance, kSides, kSideName);
INSTANTIATE_TEST_SUITE_P(Both, WindowConformance, kSides, kSideName);

}  // namespace
}  // namespace rt::ui
