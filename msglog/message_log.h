#pragma once
// The message log: the two hooks that stand in for the runtime's message box and stop dialog,
// and the one writer of the log file. Each hook shows the real dialog through the runtime, then
// (message) or first (stop) appends an entry to the text-line file named by
// GLO_KESTROMSGLOG__NAME. Every thread writes through its own instance of that file; an entry is
// one open, one append and one close, so nothing holds the file between entries. With a log
// server configured, the entry is spooled for GLO_CentralLog's sender just before it is appended.

#include <optional>
#include <string>
#include <string_view>

#include "runtime/core/fixed_string.h"
#include "runtime/core/thread.h"
#include "runtime/core/types.h"
#include "runtime/data/text_line_file.h"

// ---- The hooks and the writer ----

// Stands in for the message box (system property 31285). Returns the pressed button as the
// runtime's message box returned it.
rt::Long KestroMessage_(std::string_view PTEXT, std::string_view PCAPTION, std::string_view PICON,
                        std::string_view PBUTTONS, rt::Long PDEFAULT, rt::Long PSTYLE);
// Stands in for the stop dialog (system property 31286). Returns only when the user goes on.
void KestroStop_(std::optional<std::string_view> PTEXT);
// Appends one entry with `PAR_STR` as its body. An entry that cannot be written is lost; the
// loss is reported to GLO_MessageLogLoss, which tells the user once per session.
void KestroSaveMessLog_(std::string_view PAR_STR);

// ---- The log file, one instance per thread ----

struct ZENTA__RECORD {
  rt::FixedString<2000> REC_;
};
static_assert(sizeof(ZENTA__RECORD) == 2000, "the log record is one 2000-byte field");

class KestroMsgLogFile {
 public:
  KestroMsgLogFile();
  ZENTA__RECORD ZENTA__;
  rt::TextLineFile file;
};

extern rt::PerThread<KestroMsgLogFile> KESTROMSGLOG__;

// ---- The parts of an entry, for the hooks and their tests ----

struct ButtonNames {
  std::string shown;    // "ShownButtons=" value, trailing blanks removed
  std::string pressed;  // "PressedButton=" value, trailing blanks removed
};
// The names written for a message whose button argument was `buttons` and whose box returned `result`.
ButtonNames NameButtons(std::string_view buttons, rt::Long result);

std::string MessageBody(std::string_view windowTitle, std::string_view caption, std::string_view text,
                        const ButtonNames& names);
std::string StopBody(std::string_view windowTitle, std::string_view stopText);
inline constexpr char kStopDeclinedBody[] = "\r\n  Previous STOP Ignored.";

// The whole entry text, header included, before the cut to the record's 2000 characters.
std::string ComposeEntry(rt::Long date, rt::Long time, std::string_view userName, std::string_view computer,
                         std::string_view body);
