#include "msglog/log_entry.h"

namespace msglog {

const char* KindName(EntryKind kind) {
  switch (kind) {
    case EntryKind::Message: return "message";
    case EntryKind::Stop: return "stop";
    case EntryKind::DeclinedStop: return "declined";
    case EntryKind::Damaged: break;
  }
  return "damaged";
}

LogEntry LogEntry::From(const EntryView& view) {
  LogEntry entry;
  entry.kind = view.kind;
  entry.offset = view.offset;
  entry.line = view.line;
  entry.lines = view.lines;
  entry.moment = view.moment;
  entry.user = view.user;
  entry.computer = view.computer;
  entry.windowTitle = view.windowTitle;
  entry.title = view.title;
  entry.text = view.text;
  entry.shownButtons = view.shownButtons;
  entry.pressedButton = view.pressedButton;
  entry.raw = view.raw;
  entry.damage = view.damage;
  entry.clipped = view.clipped;
  return entry;
}

EntryView LogEntry::View() const {
  EntryView view;
  view.kind = kind;
  view.offset = offset;
  view.line = line;
  view.lines = lines;
  view.moment = moment;
  view.user = user;
  view.computer = computer;
  view.windowTitle = windowTitle;
  view.title = title;
  view.text = text;
  view.shownButtons = shownButtons;
  view.pressedButton = pressedButton;
  view.raw = raw;
  view.damage = damage.c_str();
  view.clipped = clipped;
  return view;
}

}  // namespace msglog
