#pragma once
// Test support shared by the test binaries: a dialog host that answers from a script and records
// what it was asked to show, and a window that is nothing but a title. A backend-free stand-in for
// unit tests; scenario tests use the headless backend's Robot instead.

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/core/dialogs.h"
#include "runtime/ui/property_holder.h"

// Answers each dialog with the next scripted answer (the default button or "go on" when the
// script is empty); an answer may also act while "its dialog is open".
class ScriptedDialogs final : public rt::DialogHost {
 public:
  using MessageAnswer = std::function<rt::Long(const rt::MessageBoxRequest&)>;
  using StopReply = std::function<rt::StopAnswer(const rt::StopRequest&)>;

  void Answer(rt::Long value);
  void Answer(MessageAnswer answer);
  void AnswerStop(StopReply reply);

  rt::Long ShowMessageBox(const rt::MessageBoxRequest& request) override;
  rt::StopAnswer ShowStop(const rt::StopRequest& request) override;

  std::vector<rt::MessageBoxRequest> Shown() const;
  std::vector<std::string> StopsShown() const;

 private:
  mutable std::mutex mutex_;
  std::deque<MessageAnswer> answers_;
  std::deque<StopReply> stopReplies_;
  std::vector<rt::MessageBoxRequest> shown_;
  std::vector<std::string> stopsShown_;
};

// A window as the message log sees it: something with a title.
class TitledWindow final : public rt::PropertyHolder {
 public:
  explicit TitledWindow(std::string title) : title_(std::move(title)) {}
  std::string GetProp(rt::Long property, rt::Long = 0) const override {
    return property == rt::PROP_Text ? title_ : std::string();
  }
  void SetProp(rt::Long property, std::string_view value, rt::Long = 0) override {
    if (property == rt::PROP_Text) title_ = value;
  }

 private:
  std::string title_;
};

