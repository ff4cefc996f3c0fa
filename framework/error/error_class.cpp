#include "framework/error/error_class.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "framework/util/critical_section.h"
#include "runtime/core/assert.h"
#include "runtime/core/clock.h"
#include "runtime/core/halt.h"
#include "runtime/core/last_error.h"
#include "runtime/core/picture.h"
#include "runtime/core/text.h"

namespace {

constexpr char kNoStatus[] = "ErrorClass not correctly initialized with Status";
constexpr char kNoTable[] = "ErrorClass incorrectly initialized.";
constexpr char kNoLookupTable[] = "ErrorClass not correctly initialized";
constexpr char kNotFound[] = "Identifier not found.";
constexpr std::size_t kWorkingTextSize = 2000;

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view needle, std::size_t from) {
  if (needle.empty() || needle.size() > text.size()) return std::string_view::npos;
  for (std::size_t at = from; at + needle.size() <= text.size(); ++at)
    if (EqualIgnoringCase(text.substr(at, needle.size()), needle)) return at;
  return std::string_view::npos;
}

std::string Fit(std::string_view text, std::size_t textSize) {
  return std::string(rt::Utf8Prefix(text, textSize > 0 ? textSize - 1 : 0));
}

}  // namespace

void Replace(std::string_view placeholder, std::string_view value, std::string& text, std::size_t textSize) {
  if (EqualIgnoringCase(placeholder, value)) return;
  std::size_t from = 0;
  for (std::size_t at; (at = FindIgnoringCase(text, placeholder, from)) != std::string::npos;) {
    std::string replaced = text.substr(0, at);
    replaced.append(value).append(text, at + placeholder.size());
    text = Fit(replaced, textSize);
    from = at + value.size();
  }
}

// Holds the object's lock for a scope, as every guarded operation does.
class ErrorClass::Guard {
 public:
  explicit Guard(const ErrorClass& owner) { procedure_.Init(owner.critSect_); }
  void Release() { procedure_.Kill(); }

 private:
  CriticalProcedure procedure_;
};

ErrorClass::ErrorClass() : critSect_(rt::NewCriticalSection()) {}

ErrorClass::~ErrorClass() {
  Kill();
  critSect_->Kill();
}

ErrorStatusClass* ErrorClass::Status() const { return status_ ? &**status_ : nullptr; }

void ErrorClass::ReportMissingStatus() const { RT_ASSERT(status_ != nullptr, kNoStatus); }

// ---- Life cycle and settings ----

void ErrorClass::Init(rt::PerThread<ErrorStatusClass>& status) {
  status_ = &status;
  Init();
}

void ErrorClass::Init() {
  Guard guard(*this);
  ReportMissingStatus();
  if (stdErrorLog_) return;
  stdErrorLog_ = std::make_unique<StandardErrorLogClass>();
  SetCategory(-1, "QEL");
  errors_.reset();
  history_.reset();
  procNames_.reset();
  SetHistoryThreshold(0);
  SetHistoryViewLevel(Level::Fatal);
  SetHistoryResetOnView(0);
  SetErrorLog(stdErrorLog_.get());
}

void ErrorClass::Kill() {
  Guard guard(*this);
  errors_.reset();
  history_.reset();
  procNames_.reset();
  // The writer goes with the built-in log; a log still pointing at it would dangle.
  if (errorLog_ == stdErrorLog_.get()) errorLog_ = nullptr;
  stdErrorLog_.reset();
  current_ = 0;
}

void ErrorClass::SetErrorLog(ErrorLogInterface* log) {
  Guard guard(*this);
  ReportMissingStatus();
  errorLog_ = log;
  if (!errors_) {
    errors_ = std::make_unique<std::vector<ErrorEntryGroup>>();
    AddErrors(DefaultErrors());
  }
  if (!procNames_) procNames_ = std::make_unique<std::vector<ProcedureName>>();
  if (!history_) history_ = std::make_unique<std::vector<ErrorHistoryList>>();
}

void ErrorClass::SetHistoryThreshold(rt::Long threshold) {
  Guard guard(*this);
  historyThreshold_ = threshold;
}
rt::Long ErrorClass::GetHistoryThreshold() const {
  Guard guard(*this);
  return historyThreshold_;
}
void ErrorClass::SetHistoryViewLevel(rt::Long level) {
  Guard guard(*this);
  historyViewLevel_ = level;
}
rt::Long ErrorClass::GetHistoryViewLevel() const {
  Guard guard(*this);
  return historyViewLevel_;
}
void ErrorClass::SetHistoryResetOnView(rt::Byte reset) {
  Guard guard(*this);
  historyResetOnView_ = reset;
}
rt::Byte ErrorClass::GetHistoryResetOnView() const {
  Guard guard(*this);
  return historyResetOnView_;
}
rt::Byte ErrorClass::GetLogErrors() const {
  Guard guard(*this);
  return LogErrors;
}
rt::Byte ErrorClass::GetSilent() const {
  Guard guard(*this);
  return Silent;
}
void ErrorClass::SetDefaultCategory(std::string_view category) {
  Guard guard(*this);
  defaultCategory_ = category;
}
std::string ErrorClass::GetDefaultCategory() const {
  Guard guard(*this);
  return defaultCategory_;
}

// ---- The table ----

void ErrorClass::AddErrors(ErrorBlock block) {
  Guard guard(*this);
  if (!errors_) {
    RT_ASSERT(false, kNoTable);
    return;
  }
  const bool whole = ReadErrorBlock(block, [&](const ErrorBlockEntry& entry) {
    errors_->push_back({entry.id, entry.message, entry.title, entry.level, std::string()});
  });
  RT_ASSERT(whole, "Error block runs past its end; the entries after the last whole one were not added.");
}

void ErrorClass::AddError(rt::UShort id, std::string_view message, std::string_view title, rt::Byte fatality,
                          std::string_view category) {
  Guard guard(*this);
  if (!errors_) {
    RT_ASSERT(false, kNoTable);
    return;
  }
  errors_->push_back({id, message, title, fatality, std::string(category)});
}

void ErrorClass::RemoveError(rt::UShort id) {
  Guard guard(*this);
  if (SetId(id) == Level::Ok) errors_->erase(errors_->begin() + static_cast<std::ptrdiff_t>(current_ - 1));
  current_ = 0;
}

rt::Byte ErrorClass::SetId(rt::Long id, rt::Long startPosition) {
  if (!errors_) {
    RT_ASSERT(false, kNoLookupTable);
    return Level::Notify;
  }
  const std::size_t start = std::min<std::size_t>(startPosition < 0 ? 0 : static_cast<std::size_t>(startPosition),
                                                  errors_->size());
  for (std::size_t position = start; position >= 1; --position) {
    if ((*errors_)[position - 1].Id == id) {
      current_ = position;
      return Level::Ok;
    }
  }
  return Level::Notify;
}

rt::Byte ErrorClass::SetId(rt::Long id) {
  const rt::Byte result = SetId(id, errors_ ? static_cast<rt::Long>(errors_->size()) : 0);
  RT_ASSERT(result == Level::Ok || !errors_, kNotFound);
  return result;
}

rt::Byte ErrorClass::GetErrorEntry(rt::Long id, ErrorEntryGroup& entry, rt::Long startPosition) {
  Guard guard(*this);
  if (startPosition == 0 && errors_) startPosition = static_cast<rt::Long>(errors_->size());
  const rt::Byte result = SetId(id, startPosition);
  if (result == Level::Ok) entry = (*errors_)[current_ - 1];
  return result;
}

rt::Byte ErrorClass::GetErrorEntry(rt::Long id, ErrorEntryGroup& entry) {
  Guard guard(*this);
  const rt::Byte result = SetId(id);
  if (result == Level::Ok) entry = (*errors_)[current_ - 1];
  return result;
}

void ErrorClass::SetCategory(rt::Long id, std::string_view category) {
  if (id == -1) {
    SetDefaultCategory(category);
    return;
  }
  Guard guard(*this);
  if (SetId(id) == Level::Ok) (*errors_)[current_ - 1].Category = category;
}

std::string ErrorClass::GetCategory(rt::Long id) {
  if (id == -1) return GetDefaultCategory();
  Guard guard(*this);
  if (errors_ && SetId(id, static_cast<rt::Long>(errors_->size())) == Level::Ok &&
      !(*errors_)[current_ - 1].Category.empty())
    return (*errors_)[current_ - 1].Category;
  return defaultCategory_;
}

// ---- The calling thread's status ----

void ErrorClass::SetErrors() {
  ErrorStatusClass* status = Status();
  if (!status) return ReportMissingStatus();
  ErrorStatusGroup& values = status->Values;
  values.SaveErrorCode = rt::ErrorCode();
  values.SaveError = rt::Clip(rt::Error());
  values.SaveFileErrorCode = rt::Clip(rt::FileErrorCode());
  values.SaveFileError = rt::Clip(rt::FileError());
}

void ErrorClass::SetFileName(std::string_view name) {
  if (ErrorStatusClass* status = Status()) status->Values.FileName = name;
  else ReportMissingStatus();
}
void ErrorClass::SetKeyName(std::string_view name) {
  if (ErrorStatusClass* status = Status()) status->Values.KeyName = name;
  else ReportMissingStatus();
}
void ErrorClass::SetFieldName(std::string_view name) {
  if (ErrorStatusClass* status = Status()) status->Values.FieldName = name;
  else ReportMissingStatus();
}
void ErrorClass::SetMessageText(std::string_view text) {
  if (ErrorStatusClass* status = Status()) status->Values.MessageText = text;
  else ReportMissingStatus();
}
void ErrorClass::SetFile(std::string_view name) { SetFileName(rt::Clip(name)); }
void ErrorClass::SetKey(std::string_view name) { SetKeyName(rt::Clip(name)); }
void ErrorClass::SetField(std::string_view name) { SetFieldName(rt::Clip(name)); }

void ErrorClass::StoreErrorEntry(rt::Long id) {
  ErrorStatusClass* status = Status();
  if (!status) return ReportMissingStatus();
  ErrorBufferGroup& buffer = status->Values.ErrorBuffer;
  status->Values.PrevErrorId = buffer.Id;
  ErrorEntryGroup entry;
  GetErrorEntry(id, entry);
  buffer.Id = entry.Id;
  buffer.Fatality = entry.Fatality;
  buffer.Category = entry.Category;
  buffer.Message = entry.Message;
  buffer.Title = entry.Title;
}

rt::Long ErrorClass::GetErrorBufferId() {
  ErrorStatusClass* status = Status();
  if (!status) return ReportMissingStatus(), 0;
  return status->Values.ErrorBuffer.Id;
}

std::string ErrorClass::GetErrorBufferTitle() {
  ErrorStatusClass* status = Status();
  if (!status) return ReportMissingStatus(), std::string();
  return status->Values.ErrorBuffer.Title;
}

rt::Byte ErrorClass::GetErrorBufferFatality() {
  ErrorStatusClass* status = Status();
  if (!status) return ReportMissingStatus(), Level::Ok;
  return status->Values.ErrorBuffer.Fatality;
}

void ErrorClass::GetAllStatusVariables(ErrorStatusGroup& group) {
  ErrorStatusClass* status = Status();
  if (!status) return ReportMissingStatus();
  group = status->Values;
}

std::string ErrorClass::SubsString() {
  if (!Status()) {
    ReportMissingStatus();
    return std::string();
  }
  ErrorStatusGroup values;
  GetAllStatusVariables(values);
  std::string text = Fit(values.ErrorBuffer.Message, kWorkingTextSize);
  const std::string errorCode = std::to_string(values.SaveErrorCode);
  const bool fromDriver = values.SaveErrorCode == 90 || values.SaveErrorCode == 100;
  const std::string errorText =
      fromDriver ? values.SaveFileError.Str() + " (" + values.SaveFileErrorCode.Str() + ")"
                 : values.SaveError.Str() + " (" + errorCode + ")";
  // Longer placeholders before their prefixes: %FileErrorCode, %FileError, then %File.
  Replace("%FileErrorCode", values.SaveFileErrorCode.View(), text, kWorkingTextSize);
  Replace("%FileError", values.SaveFileError.View(), text, kWorkingTextSize);
  Replace("%File", values.FileName.View(), text, kWorkingTextSize);
  Replace("%Key", values.KeyName.View(), text, kWorkingTextSize);
  Replace("%ErrorCode", errorCode, text, kWorkingTextSize);
  Replace("%ErrorText", errorText, text, kWorkingTextSize);
  Replace("%Error", values.SaveError.View(), text, kWorkingTextSize);
  Replace("%Message", values.MessageText.View(), text, kWorkingTextSize);
  Replace("%Field", values.FieldName.View(), text, kWorkingTextSize);
  Replace("%Procedure", GetProcedureName(), text, kWorkingTextSize);
  Replace("%Category", values.ErrorBuffer.Category, text, kWorkingTextSize);
  if (text.find("%Previous") != std::string::npos) {
    ErrorEntryGroup previous;
    GetErrorEntry(values.PrevErrorId, previous);
    Replace("%Previous", previous.Message, text, kWorkingTextSize);
  }
  return text;
}

// ---- Reporting ----

rt::Byte ErrorClass::Throw(rt::Long id) {
  SetErrors();
  return TakeError(id);
}

rt::Byte ErrorClass::ThrowMessage(rt::Long id, std::string_view text) {
  SetMessageText(rt::Clip(text));
  return Throw(id);
}

rt::Byte ErrorClass::TakeError(rt::Long id) {
  StoreErrorEntry(id);
  switch (GetErrorBufferFatality()) {
    case Level::Ok: return TakeBenign();
    case Level::Ask:
    case Level::Cancel: return TakeUser();
    case Level::Internal: return TakeProgram();
    case Level::Fatal: return TakeFatal();
    case Level::Notify: TakeNotify(); return Level::Notify;
    default: return TakeOther();
  }
}

rt::Byte ErrorClass::TakeBenign() { return Level::Ok; }

rt::Byte ErrorClass::TakeUser() {
  const rt::Long answer =
      Msg(SubsString(), GetErrorBufferTitle(), kExclamationIcon, rt::BUTTON_YES + rt::BUTTON_NO, rt::BUTTON_YES, MsgStyle);
  return answer == rt::BUTTON_YES ? Level::Ok : Level::Cancel;
}

rt::Byte ErrorClass::TakeNotify() {
  Msg(SubsString(), GetErrorBufferTitle(), kInformationIcon, rt::BUTTON_OK, rt::BUTTON_OK, MsgStyle);
  return Level::Notify;
}

rt::Byte ErrorClass::TakeFatal() {
  const std::string title = GetErrorBufferTitle();
  Msg(SubsString() + "  Press OK to end this application", title, kInformationIcon, rt::BUTTON_OK, rt::BUTTON_OK,
      MsgStyle);
  rt::Halt(0, title);
}

rt::Byte ErrorClass::TakeProgram() { return TakeFatal(); }
rt::Byte ErrorClass::TakeOther() { return TakeProgram(); }

rt::Long ErrorClass::Message(rt::Long id, rt::Long buttons, rt::Long defaultButton) {
  if (GetSilent()) return defaultButton;
  StoreErrorEntry(id);
  return MessageBox(Level::Ok, SubsString(), GetErrorBufferTitle(), kExclamationIcon, buttons, defaultButton, MsgStyle);
}

rt::Long ErrorClass::Msg(std::string_view text, std::string_view caption, std::string_view icon, rt::Long buttons,
                         rt::Long defaultButton, rt::Long style) {
  rt::Long result = defaultButton;
  if (GetLogErrors()) {
    Guard guard(*this);
    RT_ASSERT(errorLog_ != nullptr, "Attempt to LogErrors with ErrorLogInterface NULL!");
    if (errorLog_) {
      if (errorLog_->Open(0) != Level::Ok) RT_ASSERT(false, "Unable to Open error log; " + rt::Error());
      const rt::DateAndTime now = rt::TodayAndClock();
      const std::string line = rt::Format(now.date, "D17") + "@" + rt::Format(now.time, "T8") + " --> " + std::string(text);
      if (errorLog_->Take(line) != Level::Ok) RT_ASSERT(false, "Unable to update error log; " + rt::Error());
      if (errorLog_->Close(0) != Level::Ok) RT_ASSERT(false, "Unable to close error log; " + rt::Error());
    }
  }
  const rt::Long threshold = GetHistoryThreshold();
  if (threshold != 0) {
    Guard guard(*this);
    if (history_) {
      while (threshold > 0 && history_->size() >= static_cast<std::size_t>(threshold))
        history_->erase(history_->begin());
    }
    historyRecord_.Txt = text;
    historyRecord_.Id = static_cast<rt::Short>(GetErrorBufferId());
    historyRecord_.Category = GetCategory(GetErrorBufferId());  // the whole id: Id holds only 16 bits
    AddHistory();
  }
  if (GetSilent()) return result;
  if (threshold != 0) {
    if (GetErrorBufferFatality() == GetHistoryViewLevel()) {
      const rt::Long iconNumber = rt::IsNumeric(icon) ? std::atol(std::string(icon).c_str()) : 0;
      result = HistoryMsg(caption, iconNumber, buttons, defaultButton);
      if (GetHistoryResetOnView()) ResetHistory();
    }
    return result;
  }
  return MessageBox(GetErrorBufferFatality(), text, caption, icon, buttons, defaultButton, style);
}

rt::Long ErrorClass::MessageBox(rt::Byte /*level*/, std::string_view text, std::string_view caption,
                                std::string_view icon, rt::Long buttons, rt::Long defaultButton, rt::Long style) {
  return rt::MessageBox(text, caption, icon, std::to_string(buttons), defaultButton, style);
}

// ---- History ----

void ErrorClass::AddHistory() {
  Guard guard(*this);
  if (!history_) {
    RT_ASSERT(false, "Error (" + std::to_string(rt::ErrorCode()) + ") Add new item to History");
    return;
  }
  history_->push_back(historyRecord_);
}

rt::Long ErrorClass::HistoryMsg(std::string_view /*caption*/, rt::Long /*icon*/, rt::Long /*buttons*/,
                                rt::Long defaultButton) {
  // The history window arrives with the window runtime; until then the default button stands.
  return defaultButton;
}

void ErrorClass::ViewHistory() {
  ReportMissingStatus();
  HistoryMsg("Errors History", 0, rt::BUTTON_OK + rt::BUTTON_HELP, rt::BUTTON_OK);
}

void ErrorClass::ResetHistory() {
  ReportMissingStatus();
  Guard guard(*this);
  if (history_) history_->clear();
}

std::vector<ErrorHistoryList> ErrorClass::HistorySnapshot() const {
  Guard guard(*this);
  return history_ ? *history_ : std::vector<ErrorHistoryList>();
}

// ---- Procedure names ----

std::optional<std::size_t> ErrorClass::FindProcedureName() const {
  if (!procNames_) return std::nullopt;
  const rt::Long thread = rt::Thread();
  for (std::size_t i = procNames_->size(); i-- > 0;)
    if ((*procNames_)[i].Thread == thread) return i;
  return std::nullopt;
}

void ErrorClass::SetProcedureName(std::string_view name) {
  Guard guard(*this);
  ReportMissingStatus();
  if (!procNames_) {
    RT_ASSERT(false, kNoTable);
    return;
  }
  procNames_->push_back({rt::Thread(), std::string(rt::Clip(name))});
}

void ErrorClass::SetProcedureName() {
  Guard guard(*this);
  ReportMissingStatus();
  if (GetProcedureName().empty()) return;
  if (const std::optional<std::size_t> latest = FindProcedureName())
    procNames_->erase(procNames_->begin() + static_cast<std::ptrdiff_t>(*latest));
}

std::string ErrorClass::GetProcedureName() {
  Guard guard(*this);
  ReportMissingStatus();
  if (!procNames_) {
    RT_ASSERT(false, kNoTable);
    return std::string();
  }
  const std::optional<std::size_t> latest = FindProcedureName();
  return latest ? (*procNames_)[*latest].Name : std::string();
}
