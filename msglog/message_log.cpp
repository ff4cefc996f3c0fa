#include "msglog/message_log.h"

#include <cstdlib>

#include "msglog/globals.h"
#include "runtime/core/clock.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/last_error.h"
#include "runtime/core/picture.h"
#include "runtime/core/system_props.h"
#include "runtime/core/text.h"
#include "runtime/ui/target.h"

rt::PerThread<KestroMsgLogFile> KESTROMSGLOG__{"KESTROMSGLOG__"};

KestroMsgLogFile::KestroMsgLogFile()
    : file([] { return GLO_KESTROMSGLOG__NAME.Str(); }, std::span<char>(ZENTA__.REC_.Data(), ZENTA__.REC_.Size())) {}

namespace {

constexpr struct {
  rt::Long value;
  const char* name;
} kButtonNames[] = {
    {rt::BUTTON_OK, "OK"},       {rt::BUTTON_YES, "YES"},       {rt::BUTTON_NO, "NO"},
    {rt::BUTTON_ABORT, "ABORT"}, {rt::BUTTON_RETRY, "RETRY"},   {rt::BUTTON_IGNORE, "IGNORE"},
    {rt::BUTTON_CANCEL, "CANCEL"}, {rt::BUTTON_HELP, "HELP"},
};

ButtonNames NameNumericSet(std::string_view buttons, rt::Long result) {
  const rt::Long mask = static_cast<rt::Long>(std::strtol(std::string(buttons).c_str(), nullptr, 10));
  rt::FixedString<250> shown;
  rt::FixedString<20> pressed;
  for (const auto& button : kButtonNames) {
    if (mask & button.value) shown = std::string(shown.Clipped()) + button.name + "|";
    if (result == button.value) pressed = button.name;
  }
  std::string names(shown.Clipped());
  if (!names.empty()) names.pop_back();  // the final "|"
  return {std::string(rt::Clip(names)), pressed.Str()};
}

ButtonNames NameCaptionList(std::string_view buttons, rt::Long result) {
  const rt::FixedString<250> shown(buttons);
  const std::string_view list = shown.View();
  std::size_t end = rt::InString("|", list);
  rt::FixedString<20> pressed;
  if (end == 0) {
    pressed = list;
  } else {
    std::size_t start = 1;
    for (rt::Long i = 1; i < result; ++i) {
      start = end + 1;
      end = rt::InString("|", list, start);
      if (end == 0) {
        end = buttons.size() + 1;
        break;
      }
    }
    // Positions are 1-based; a pressed caption past the 250th character is cut to what is there.
    const std::size_t first = std::min(start - 1, list.size());
    const std::size_t last = std::min(end - 1, list.size());
    pressed = list.substr(first, last > first ? last - first : 0);
  }
  return {shown.Str(), pressed.Str()};
}

}  // namespace

ButtonNames NameButtons(std::string_view buttons, rt::Long result) {
  if (rt::IsNumeric(buttons)) return NameNumericSet(buttons, result);
  if (rt::Clip(buttons).empty()) return {"OK", "OK"};
  return NameCaptionList(buttons, result);
}

std::string MessageBody(std::string_view windowTitle, std::string_view caption, std::string_view text,
                        const ButtonNames& names) {
  std::string body = "\r\n  MESSAGE:\r\n  WindowTitle=";
  body.append(windowTitle).append("\r\n  MessageTitle=").append(caption);
  body.append("\r\n  MessageText=").append(text);
  body.append("\r\n  ShownButtons=").append(names.shown);
  body.append("\r\n  PressedButton=").append(names.pressed);
  return body;
}

std::string StopBody(std::string_view windowTitle, std::string_view stopText) {
  std::string body = "\r\n  STOP:\r\n  WindowTitle=";
  body.append(windowTitle).append("\r\n  StopText=").append(stopText);
  return body;
}

std::string ComposeEntry(rt::Long date, rt::Long time, std::string_view userName, std::string_view computer,
                         std::string_view body) {
  std::string entry;
  entry.reserve(64 + userName.size() + computer.size() + body.size());  // one allocation per entry
  entry.append(rt::Format(date, "@D03")).append(" ").append(rt::Format(time, "@T04"));
  entry.append(" USER:").append(rt::Clip(userName));
  entry.append("  ComputerName:").append(rt::Clip(computer));
  entry.append(" ").append(rt::Clip(body));
  return entry;
}

namespace {

// The first failure of one entry's open, create or append, as the user is told it.
class LossReason {
 public:
  void Note() {
    if (!reason_.empty() || rt::ErrorCode() == rt::NoError) return;
    reason_ = rt::Error();
    if (!rt::FileError().empty()) reason_ += ": " + rt::FileError();
    if (reason_.empty()) reason_ = "error " + std::to_string(rt::ErrorCode());
  }
  bool IsLost() const { return !reason_.empty(); }
  const std::string& Text() const { return reason_; }

 private:
  std::string reason_;
};

}  // namespace

void KestroSaveMessLog_(std::string_view PAR_STR) {
  KestroMsgLogFile& log = *KESTROMSGLOG__;
  LossReason lost;
  log.file.Open(rt::ReadWrite | rt::DenyNone);
  if (rt::ErrorCode() == rt::NoFileErr) {
    // Another writer may create the log between our open and our create; emptying
    // it then would lose its entries.
    log.file.CreateIfMissing();
    lost.Note();  // a create that failed says why better than the open after it
    log.file.Open(rt::ReadWrite | rt::DenyNone);
    if (rt::ErrorCode() == rt::NoError) lost = {};
  }
  lost.Note();
  const rt::DateAndTime now = rt::TodayAndClock();
  log.ZENTA__.REC_ = ComposeEntry(now.date, now.time, GLO_USERNAME.Get().View(),
                                  GLO_KESTROMSGLOG__COMPUTER.View(), PAR_STR);
  if (!lost.IsLost()) {
    log.file.Add();
    lost.Note();
  }
  log.file.Close();
  // The central copy's sender reads the entry from the file; one the file did not take goes by
  // the spool, so the server still has it.
  if (lost.IsLost()) GLO_CentralLog.AddUnlogged(log.ZENTA__.REC_.Clipped());
  else GLO_CentralLog.Wake();
  if (lost.IsLost()) GLO_MessageLogLoss.ReportLost(GLO_KESTROMSGLOG__NAME.View(), lost.Text());
}

rt::Long KestroMessage_(std::string_view PTEXT, std::string_view PCAPTION, std::string_view PICON,
                        std::string_view PBUTTONS, rt::Long PDEFAULT, rt::Long PSTYLE) {
  const rt::ErrorsKept kept;  // the caller reads the error its own operation left
  rt::Long LOC_RESP = 0;
  {
    // The real dialog, for this thread only: the property keeps the hook's address, so other
    // threads' messages are still logged while this box is open.
    const rt::OwnDialogScope ownDialog(rt::PROP_MessageHook);
    LOC_RESP = rt::MessageBox(PTEXT, PCAPTION, PICON, PBUTTONS, PDEFAULT, PSTYLE);
  }

  const ButtonNames names = NameButtons(PBUTTONS, LOC_RESP);
  KestroSaveMessLog_(MessageBody(rt::TargetTitle(), PCAPTION, PTEXT, names));
  return LOC_RESP;
}

void KestroStop_(std::optional<std::string_view> PTEXT) {
  const rt::ErrorsKept kept;
  KestroSaveMessLog_(StopBody(rt::TargetTitle(), PTEXT ? *PTEXT : std::string_view("Exit?")));
  {
    const rt::OwnDialogScope ownDialog(rt::PROP_StopHook);
    rt::Stop(PTEXT);  // ends the program here when the user chooses to
  }
  KestroSaveMessLog_(kStopDeclinedBody);
}
