#include "runtime/ui/events.h"

namespace rt {

std::string EventName(Long code) {
  switch (code) {
    case EVENT_None: return "None";
    case EVENT_Accepted: return "Accepted";
    case EVENT_NewSelection: return "NewSelection";
    case EVENT_ScrollUp: return "ScrollUp";
    case EVENT_ScrollDown: return "ScrollDown";
    case EVENT_PageUp: return "PageUp";
    case EVENT_PageDown: return "PageDown";
    case EVENT_ScrollTop: return "ScrollTop";
    case EVENT_ScrollBottom: return "ScrollBottom";
    case EVENT_Locate: return "Locate";
    case EVENT_AlertKey: return "AlertKey";
    case EVENT_PreAlertKey: return "PreAlertKey";
    case EVENT_ScrollDrag: return "ScrollDrag";
    case EVENT_Rejected: return "Rejected";
    case EVENT_Selected: return "Selected";
    case EVENT_CloseWindow: return "CloseWindow";
    case EVENT_CloseDown: return "CloseDown";
    case EVENT_OpenWindow: return "OpenWindow";
    case EVENT_LoseFocus: return "LoseFocus";
    case EVENT_GainFocus: return "GainFocus";
    case EVENT_Notify: return "Notify";
    case EVENT_SizeRequest: return "SizeRequest";
    case EVENT_MaximizeRequest: return "MaximizeRequest";
    case EVENT_IconizeRequest: return "IconizeRequest";
    case EVENT_Completed: return "Completed";
    case EVENT_Sized: return "Sized";
    case EVENT_Maximized: return "Maximized";
    case EVENT_Restored: return "Restored";
    case EVENT_ResizeRequest: return "ResizeRequest";
    default: return "Event " + std::to_string(code);
  }
}

}  // namespace rt
