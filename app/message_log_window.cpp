// MessageLogWindow: the message log as an auditor reads it, newest entry first, on a thread of
// its own. The filter row (user, text, from, to) narrows the list as it is typed; the line below
// the list shows the highlighted entry whole. The rows come from a LogCatalog: the last entries
// at once, the rest as its worker reads the log, new ones as the program appends them. When the
// administrator configured a log server they come from the server (every desk's entries) instead,
// and from the file when the server cannot be reached; the line below the list says which.

#include <cstdio>
#include <memory>
#include <optional>
#include <ctime>
#include <string>

#include "app/globals.h"
#include "app/procedure_window.h"
#include "app/procedures.h"
#include "msglog/globals.h"
#include "msglog/log_catalog.h"
#include "msglog/log_moments.h"
#include "msglog/server_catalog.h"
#include "msglog/setup.h"
#include "runtime/core/thread.h"
#include "runtime/data/pg_connection.h"
#include "runtime/platform/platform.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/list_format.h"
#include "runtime/ui/window.h"
#include "runtime/ui/window_def.h"

using rt::Byte;
using rt::ControlDef;
using rt::Long;

namespace {

enum LogWindowControl : Long {
  kUserPrompt = 1,
  kUser,
  kTextPrompt,
  kText,
  kFromPrompt,
  kFrom,
  kToPrompt,
  kTo,
  kList,
  kDetail,
  kProgress,
  kClose,
};

// The catalog's worker wakes the window's thread with this notify code.
constexpr Long kLogChangedNotify = 0x4C47;

enum LogColumn : Long { kMoment = 1, kUserColumn, kComputer, kKind, kWindowTitle, kTitle, kTextColumn, kPressed };

constexpr const char* kLogFormat =
    "86L(2)|M~Date and time~L(2)"
    "44L(2)|M~User~L(2)"
    "44L(2)|M~Computer~L(2)"
    "42L(2)|M~Kind~L(2)"
    "70L(2)|M~Window~L(2)"
    "50L(2)|M~Title~L(2)"
    "94L(2)|M~Text~L(2)"
    "36L(2)|M~Pressed~L(2)";

rt::WindowDef LogWindowDef(std::string_view shown) {
  rt::WindowDef def;
  def.kind = rt::WindowKind::MdiChild;
  def.title = "Message Log";
  def.font = "MS Sans Serif,8";
  def.resizable = true;
  def.width = 460;
  def.height = 216;
  def.Add(ControlDef::Prompt("&User:").At(6, 6, 22, 10));
  def.Add(ControlDef::Entry("@s40", nullptr).Immediate().Tip("Entries of this user").At(28, 4, 64, 12));
  def.Add(ControlDef::Prompt("&Text:").At(98, 6, 20, 10));
  def.Add(ControlDef::Entry("@s80", nullptr).Immediate().Tip("Entries whose text contains this").At(118, 4, 110, 12));
  def.Add(ControlDef::Prompt("&From:").At(234, 6, 22, 10));
  def.Add(ControlDef::Entry("@s30", nullptr).Immediate().Tip("From this date (and time)").At(256, 4, 84, 12));
  def.Add(ControlDef::Prompt("T&o:").At(346, 6, 14, 10));
  def.Add(ControlDef::Entry("@s30", nullptr).Immediate().Tip("Up to this date (and time)").At(362, 4, 92, 12));
  def.Add(ControlDef::List(kLogFormat).VScroll().Status(std::string("The entries of ") + std::string(shown))
              .At(6, 20, 448, 140));
  def.Add(ControlDef::String("").At(6, 164, 448, 28));
  def.Add(ControlDef::String("").At(6, 200, 380, 12));
  def.Add(ControlDef::Button("&Close").Tip("Close Window").At(400, 196, 54, 16).StdClose());
  return def;
}

std::string MomentText(const msglog::LogMoment& moment) {
  if (!moment.IsSet()) return {};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", moment.year, moment.month, moment.day,
                moment.hour, moment.minute, moment.second);
  return text;
}

// One line for a cell: the message's line ends shown as " / ".
std::string OneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += " / ";
    } else {
      line += text[i];
    }
  }
  return line;
}

// The list's rows, newest first, as the catalog holds them.
class LogRows final : public rt::ListSource {
 public:
  explicit LogRows(const std::unique_ptr<msglog::LogSource>& catalog) : catalog_(catalog) {}
  Long RowCount() const override { return catalog_ ? static_cast<Long>(catalog_->RowCount()) : 0; }
  std::string Value(Long row, Long field) const override {
    const msglog::LogEntry* entry = row > 0 && catalog_ ? catalog_->Row(static_cast<std::size_t>(row)) : nullptr;
    if (!entry) return {};
    switch (field) {
      case kMoment: return MomentText(entry->moment);
      case kUserColumn: return entry->user;
      case kComputer: return entry->computer;
      case kKind: return msglog::KindName(entry->kind);
      case kWindowTitle: return entry->windowTitle;
      case kTitle: return entry->title;
      case kTextColumn: return OneLine(entry->text);
      case kPressed: return entry->pressedButton;
      default: return {};
    }
  }

 private:
  const std::unique_ptr<msglog::LogSource>& catalog_;  // the window's, made in its Init
};

// The highlighted entry whole, for the line below the list.
std::string Detail(const msglog::LogEntry& entry) {
  std::string detail = MomentText(entry.moment) + "  " + entry.user + " on " + entry.computer;
  if (!entry.windowTitle.empty()) detail += ", over \"" + entry.windowTitle + "\"";
  detail += ": ";
  if (!entry.title.empty()) detail += entry.title + " - ";
  detail += entry.text;
  if (!entry.shownButtons.empty()) detail += "\n[" + entry.shownButtons + "] pressed: " + entry.pressedButton;
  return detail;
}

class ThisWindow final : public ProcedureWindow {
 public:
  ThisWindow(rt::Window& window, ToolbarClass& toolbar, ProcedureResizer& resizer, std::string path,
             std::string server)
      : ProcedureWindow("MessageLogWindow", window, toolbar, &resizer), path_(std::move(path)),
        server_(std::move(server)) {}

  Byte Init() override {
    const Byte level = BeginInit(kList);
    if (level != Level::Ok) return level;
    OpenAndPlace();
    TheWindow().SetListSource(kList, &rows_);
    auto changed = [thread = rt::Thread()] { rt::Notify(kLogChangedNotify, thread); };
    if (server_.empty()) {
      auto file = std::make_unique<msglog::LogCatalog>();
      file->Open(path_, {}, changed);
      catalog_ = std::move(file);
    } else {
      auto central = std::make_unique<msglog::ServerLogCatalog>();
      central->Open(server_, path_, {}, changed);
      central_ = central.get();
      catalog_ = std::move(central);
    }
    ShowRows();
    return Level::Ok;
  }

  Byte Kill() override {
    if (catalog_) catalog_->Stop();
    return ProcedureWindow::Kill();
  }

  Byte TakeNotify(Long code, Long thread, Long parameter) override {
    if (code == kLogChangedNotify) ShowRows();
    return WindowManager::TakeNotify(code, thread, parameter);
  }

  Byte TakeNewSelection() override {
    const Long control = TheWindow().CurrentEvent().control;
    if (control == kUser || control == kText || control == kFrom || control == kTo) ApplyFilter();
    else if (control == kList) ShowDetail();
    return WindowManager::TakeNewSelection();
  }

 private:
  std::string Typed(Long entry) const {
    const rt::Control* control = TheWindow().FindControl(entry);
    return control ? control->ShownText() : std::string();
  }

  // The filter as typed so far; a date not yet whole leaves its bound open and says so.
  void ApplyFilter() {
    msglog::LogFilter filter;
    filter.SetUser(Typed(kUser));
    filter.SetText(Typed(kText));
    dateProblem_.clear();
    const std::time_t now = std::time(nullptr);
    auto bound = [&](Long entry, bool end, std::optional<std::int64_t>& key, const char* name) {
      const std::string text = Typed(entry);
      if (text.find_first_not_of(' ') == std::string::npos) return;
      msglog::LogMoment moment;
      if (msglog::ParseUserMoment(text, end, now, moment)) key = moment.Key();
      else dateProblem_ = std::string(name) + " is not a date yet (2026-12-07, 12/07/2026, today 09:00)";
    };
    bound(kFrom, false, filter.since, "From");
    bound(kTo, true, filter.until, "To");
    catalog_->SetFilter(std::move(filter));
    ShowRows();
  }

  void ShowRows() {
    rt::Window& window = TheWindow();
    const Long rows = static_cast<Long>(catalog_->RowCount());
    rt::Control* list = window.FindControl(kList);
    if (list && list->SelectedRow() > rows) list->SetSelectedRow(rows);
    if (list && list->SelectedRow() == 0 && rows > 0) list->SetSelectedRow(1);
    window.Display(kList);
    // The rows' source: the file's path, or the server without its password.
    const std::string source = central_ && !central_->IsFallenBack()
                                   ? " on the log server " + rt::pg::RedactConnection(server_)
                                   : central_ ? " in " + path_ : std::string();
    const std::string problem = catalog_->Problem();
    std::string progress;
    if (!dateProblem_.empty()) progress = dateProblem_;
    else if (!catalog_->IsComplete()) progress = "Reading the log: " + std::to_string(catalog_->Progress()) + "%  (the latest entries are shown)";
    else progress = std::to_string(rows) + (rows == 1 ? " entry" : " entries") + source;
    if (!problem.empty()) progress = problem + ". " + progress;
    window.SetProp(kProgress, rt::PROP_Text, progress, 0);
    ShowDetail();
  }

  void ShowDetail() {
    const rt::Control* list = TheWindow().FindControl(kList);
    const msglog::LogEntry* entry =
        list && list->SelectedRow() > 0 ? catalog_->Row(static_cast<std::size_t>(list->SelectedRow())) : nullptr;
    TheWindow().SetProp(kDetail, rt::PROP_Text, entry ? Detail(*entry) : std::string(), 0);
  }

  const std::string path_;
  const std::string server_;  // the administrator's log server, "" for none
  std::unique_ptr<msglog::LogSource> catalog_;  // the file's or the server's, made in Init
  const msglog::ServerLogCatalog* central_ = nullptr;  // catalog_ when it is the server's
  LogRows rows_{catalog_};
  std::string dateProblem_;
};

}  // namespace

void MessageLogWindow() {
  const std::string path = rt::platform::NativePathText(std::string(GLO_KESTROMSGLOG__NAME.Clipped()));
  const std::string server = LogServerConnection();
  rt::Window window(LogWindowDef(server.empty() ? path : "the log server " + rt::pg::RedactConnection(server)));
  ToolbarClass toolbar;
  ProcedureResizer resizer;
  ThisWindow manager(window, toolbar, resizer, path, server);
  *GlobalResponse = manager.Run();
}
