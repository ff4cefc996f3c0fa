#include "tests/support/scripted_dialogs.h"

void ScriptedDialogs::Answer(rt::Long value) {
  Answer([value](const rt::MessageBoxRequest&) { return value; });
}

void ScriptedDialogs::Answer(MessageAnswer answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(answer));
}

void ScriptedDialogs::AnswerStop(StopReply reply) {
  std::lock_guard lock(mutex_);
  stopReplies_.push_back(std::move(reply));
}

rt::Long ScriptedDialogs::ShowMessageBox(const rt::MessageBoxRequest& request) {
  MessageAnswer answer;
  {
    std::lock_guard lock(mutex_);
    shown_.push_back(request);
    if (!answers_.empty()) {
      answer = std::move(answers_.front());
      answers_.pop_front();
    }
  }
  return answer ? answer(request) : request.defaultValue;  // answered outside the lock: it may raise more
}

rt::StopAnswer ScriptedDialogs::ShowStop(const rt::StopRequest& request) {
  StopReply reply;
  {
    std::lock_guard lock(mutex_);
    stopsShown_.push_back(request.text);
    if (!stopReplies_.empty()) {
      reply = std::move(stopReplies_.front());
      stopReplies_.pop_front();
    }
  }
  return reply ? reply(request) : rt::StopAnswer::GoOn;
}

std::vector<rt::MessageBoxRequest> ScriptedDialogs::Shown() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

std::vector<std::string> ScriptedDialogs::StopsShown() const {
  std::lock_guard lock(mutex_);
  return stopsShown_;
}

