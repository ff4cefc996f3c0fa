#pragma once
// ErrorClass: the framework's one error-reporting service. Callers raise errors by id; the class
// keeps the error table (level, title, template, category per id), captures the runtime's last
// error and the names a message needs into the calling thread's ErrorStatusClass, fills the
// template, and by the entry's level decides what to show (through the runtime's message box,
// so the message log sees it) and what to return. It also keeps an optional history and log of
// shown messages and, per thread, a stack of procedure names.
//
// One instance (GlobalErrors) is shared by all threads; its lock guards the table, history, name
// stack, log and settings, and is never held while a dialog is shown. Every virtual operation
// may be replaced by a derived class; the class calls them through the virtual table.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/error/error_block.h"
#include "framework/error/error_log.h"
#include "framework/error/error_status.h"
#include "framework/error/levels.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/sync.h"
#include "runtime/core/thread.h"

// The runtime's stock icons as the error table's dialogs name them.
inline constexpr std::string_view kExclamationIcon{"\xFF\x01\x03\x7F", 4};
inline constexpr std::string_view kInformationIcon{"\xFF\x01\x04\x7F", 4};

struct ErrorHistoryList {
  std::string Category;
  rt::CString<1024> Txt;
  rt::Short Id = 0;
};

struct ProcedureName {
  rt::Long Thread;
  std::string Name;
};

// Replaces every occurrence of `placeholder` (found ignoring case) in `text` by `value`, keeping
// `text` within `textSize` bytes (a CString's capacity: textSize - 1 characters). Nothing is done
// when placeholder and value are equal ignoring case. The search goes on after each inserted
// value, so a value that contains its own placeholder is inserted once per occurrence.
void Replace(std::string_view placeholder, std::string_view value, std::string& text, std::size_t textSize);

class ErrorClass {
 public:
  ErrorClass();
  virtual ~ErrorClass();
  ErrorClass(const ErrorClass&) = delete;
  ErrorClass& operator=(const ErrorClass&) = delete;

  // ---- Life cycle and settings ----
  void Init(rt::PerThread<ErrorStatusClass>& status);
  void Init();
  void Kill();
  virtual void SetErrorLog(ErrorLogInterface* log);

  void SetHistoryThreshold(rt::Long threshold);
  rt::Long GetHistoryThreshold() const;
  void SetHistoryViewLevel(rt::Long level);
  rt::Long GetHistoryViewLevel() const;
  void SetHistoryResetOnView(rt::Byte reset);
  rt::Byte GetHistoryResetOnView() const;
  rt::Byte GetLogErrors() const;
  rt::Byte GetSilent() const;
  void SetDefaultCategory(std::string_view category);
  std::string GetDefaultCategory() const;

  // ---- The table ----
  virtual void AddErrors(ErrorBlock block);
  // `message` and `title` are kept by reference: their storage must outlive the entry.
  virtual void AddError(rt::UShort id, std::string_view message, std::string_view title, rt::Byte fatality,
                        std::string_view category);
  virtual void RemoveError(rt::UShort id);
  rt::Byte SetId(rt::Long id);
  rt::Byte SetId(rt::Long id, rt::Long startPosition);
  rt::Byte GetErrorEntry(rt::Long id, ErrorEntryGroup& entry);
  rt::Byte GetErrorEntry(rt::Long id, ErrorEntryGroup& entry, rt::Long startPosition);
  void SetCategory(rt::Long id, std::string_view category);
  std::string GetCategory(rt::Long id);

  // ---- The calling thread's status ----
  void SetErrors();
  void SetFileName(std::string_view name);
  void SetKeyName(std::string_view name);
  void SetFieldName(std::string_view name);
  void SetMessageText(std::string_view text);
  void SetFile(std::string_view name);
  void SetKey(std::string_view name);
  void SetField(std::string_view name);
  void StoreErrorEntry(rt::Long id);
  rt::Long GetErrorBufferId();
  std::string GetErrorBufferTitle();
  rt::Byte GetErrorBufferFatality();
  void GetAllStatusVariables(ErrorStatusGroup& group);
  std::string SubsString();

  // ---- Reporting ----
  rt::Byte Throw(rt::Long id);
  rt::Byte ThrowMessage(rt::Long id, std::string_view text);
  rt::Byte TakeError(rt::Long id);
  virtual rt::Byte TakeBenign();
  virtual rt::Byte TakeUser();
  virtual rt::Byte TakeProgram();
  virtual rt::Byte TakeFatal();
  virtual rt::Byte TakeNotify();
  virtual rt::Byte TakeOther();
  rt::Long Message(rt::Long id, rt::Long buttons, rt::Long defaultButton);
  virtual rt::Long Msg(std::string_view text, std::string_view caption = {}, std::string_view icon = {},
                       rt::Long buttons = rt::BUTTON_OK, rt::Long defaultButton = rt::BUTTON_OK, rt::Long style = 0);
  virtual rt::Long MessageBox(rt::Byte level, std::string_view text, std::string_view caption, std::string_view icon,
                              rt::Long buttons, rt::Long defaultButton, rt::Long style);

  // ---- History ----
  virtual void AddHistory();
  virtual rt::Long HistoryMsg(std::string_view caption, rt::Long icon, rt::Long buttons, rt::Long defaultButton);
  virtual void ViewHistory();
  void ResetHistory();
  std::vector<ErrorHistoryList> HistorySnapshot() const;  // a copy, taken under the lock

  // ---- Procedure names ----
  void SetProcedureName(std::string_view name);
  void SetProcedureName();
  std::string GetProcedureName();

  // Settings without setters: the application assigns them directly.
  rt::Byte Silent = 0;
  rt::Byte LogErrors = 0;
  rt::Short MsgStyle = 0;

 protected:
  ErrorStatusClass* Status() const;
  // The record AddHistory appends; filled by Msg under the lock.
  ErrorHistoryList historyRecord_;

 private:
  class Guard;
  std::optional<std::size_t> FindProcedureName() const;  // index of the calling thread's latest name
  void ReportMissingStatus() const;

  rt::ISyncObject* critSect_;  // owned; created by the constructor, killed by the destructor
  rt::PerThread<ErrorStatusClass>* status_ = nullptr;
  std::string defaultCategory_;
  std::unique_ptr<std::vector<ErrorEntryGroup>> errors_;
  std::unique_ptr<std::vector<ErrorHistoryList>> history_;
  std::unique_ptr<std::vector<ProcedureName>> procNames_;
  std::unique_ptr<StandardErrorLogClass> stdErrorLog_;
  ErrorLogInterface* errorLog_ = nullptr;
  std::size_t current_ = 0;  // 1-based position SetId stopped on; 0 for none
  rt::Long historyThreshold_ = 0;
  rt::Long historyViewLevel_ = 0;
  rt::Byte historyResetOnView_ = 0;
};
