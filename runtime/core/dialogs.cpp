#include "runtime/core/dialogs.h"

#include <atomic>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <optional>

#include "runtime/core/halt.h"
#include "runtime/core/system_props.h"
#include "runtime/core/text.h"

namespace rt {

namespace {

std::atomic<DialogHost*> gHost{nullptr};

// How many OwnDialogScopes are open on this thread, per hook. Runtime-internal, like the thread
// table's own thread_local state.
thread_local int tOwnMessageBox = 0;
thread_local int tOwnStop = 0;

int& OwnDepth(Long hookProperty) { return hookProperty == PROP_StopHook ? tOwnStop : tOwnMessageBox; }

// The hook standing in for the runtime's dialog on this thread now, or 0.
std::intptr_t ActiveHook(Long hookProperty) { return OwnDepth(hookProperty) > 0 ? 0 : GetSystemProp(hookProperty); }

constexpr struct {
  Long value;
  const char* caption;
} kStandardButtons[] = {
    {BUTTON_OK, "&OK"},         {BUTTON_YES, "&Yes"},       {BUTTON_NO, "&No"},         {BUTTON_ABORT, "&Abort"},
    {BUTTON_RETRY, "&Retry"},   {BUTTON_IGNORE, "&Ignore"}, {BUTTON_CANCEL, "&Cancel"}, {BUTTON_HELP, "&Help"},
};

std::vector<DialogButton> NumericButtons(Long mask) {
  std::vector<DialogButton> buttons;
  for (const auto& standard : kStandardButtons)
    if (mask & standard.value) buttons.push_back({standard.caption, standard.value});
  return buttons;
}

std::vector<DialogButton> CaptionButtons(std::string_view list) {
  std::vector<DialogButton> buttons;
  Long position = 1;
  for (std::size_t start = 0;;) {
    const std::size_t bar = list.find('|', start);
    buttons.push_back({std::string(list.substr(start, bar - start)), position++});
    if (bar == std::string_view::npos) break;
    start = bar + 1;
  }
  return buttons;
}

bool Offers(const std::vector<DialogButton>& buttons, Long value) {
  for (const DialogButton& button : buttons)
    if (button.value == value) return true;
  return false;
}

// The caption without its '&' and surrounding blanks, in lower case: "&Cancel " -> "cancel".
std::string PlainCaption(std::string_view caption) {
  std::string plain;
  for (char c : Clip(caption))
    if (c != '&') plain += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t first = plain.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : plain.substr(first);
}

std::optional<Long> CaptionValue(const std::vector<DialogButton>& buttons, std::string_view plain) {
  for (const DialogButton& button : buttons)
    if (PlainCaption(button.caption) == plain) return button.value;
  return std::nullopt;
}

// Esc never picks an affirmative answer: it presses Cancel, else No. A one-button box is only
// acknowledged, so Esc presses that button. A box of named buttons with neither ignores Esc.
void SetEscape(MessageBoxRequest& request, bool numeric) {
  const std::vector<DialogButton>& buttons = request.buttons;
  request.escapeValue = request.defaultValue;  // what a box closed from outside returns
  request.escapeCloses = true;
  if (buttons.size() == 1) {
    request.escapeValue = buttons.front().value;
  } else if (numeric) {
    if (Offers(buttons, BUTTON_CANCEL)) request.escapeValue = BUTTON_CANCEL;
    else if (Offers(buttons, BUTTON_NO)) request.escapeValue = BUTTON_NO;
  } else if (const auto cancel = CaptionValue(buttons, "cancel")) {
    request.escapeValue = *cancel;
  } else if (const auto no = CaptionValue(buttons, "no")) {
    request.escapeValue = *no;
  } else {
    request.escapeCloses = false;
  }
}

}  // namespace

MessageBoxRequest MakeMessageBoxRequest(std::string_view text, std::string_view caption, std::string_view icon,
                                        std::string_view buttons, Long defaultButton, Long style) {
  MessageBoxRequest request;
  request.text = text;
  request.caption = caption;
  request.icon = icon;
  request.style = style;
  const bool numeric = IsNumeric(buttons);
  if (numeric)
    request.buttons = NumericButtons(static_cast<Long>(std::strtol(std::string(buttons).c_str(), nullptr, 10)));
  else if (!Clip(buttons).empty())
    request.buttons = CaptionButtons(buttons);
  if (request.buttons.empty()) request.buttons = NumericButtons(BUTTON_OK);
  request.defaultValue = Offers(request.buttons, defaultButton) ? defaultButton : request.buttons.front().value;
  SetEscape(request, numeric);
  return request;
}

void SetDialogHost(DialogHost* host) { gHost.store(host); }

OwnDialogScope::OwnDialogScope(Long hookProperty) : depth_(OwnDepth(hookProperty)) { ++depth_; }
OwnDialogScope::~OwnDialogScope() { --depth_; }

Long MessageBox(std::string_view text, std::string_view caption, std::string_view icon, std::string_view buttons,
                Long defaultButton, Long style) {
  if (const std::intptr_t hook = ActiveHook(PROP_MessageHook))
    return reinterpret_cast<MessageHook>(hook)(text, caption, icon, buttons, defaultButton, style);
  const MessageBoxRequest request = MakeMessageBoxRequest(text, caption, icon, buttons, defaultButton, style);
  if (DialogHost* host = gHost.load()) return host->ShowMessageBox(request);
  std::fprintf(stderr, "message (no dialog host): %s: %s\n", request.caption.c_str(), request.text.c_str());
  return request.defaultValue;
}

void Stop(std::optional<std::string_view> text) {
  if (const std::intptr_t hook = ActiveHook(PROP_StopHook)) {
    reinterpret_cast<StopHook>(hook)(text);
    return;
  }
  const StopRequest request{text ? std::string(*text) : std::string("Exit?")};
  if (DialogHost* host = gHost.load()) {
    if (host->ShowStop(request) == StopAnswer::GoOn) return;
  } else {
    std::fprintf(stderr, "stop (no dialog host): %s\n", request.text.c_str());
  }
  Halt(kStopExitCode);
}

}  // namespace rt
