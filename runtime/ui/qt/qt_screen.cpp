#include "runtime/ui/qt/qt_screen.h"

// Sections: [shown state] [input from the user] [windows] [controls] [properties] [focus,
// modality and the frame's commands].

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QValidator>

#include <algorithm>

#include "runtime/ui/events.h"
#include "runtime/ui/input_sink.h"
#include "runtime/ui/property_holder.h"
#include "runtime/ui/qt/qt_list.h"
#include "runtime/ui/qt/qt_look.h"

namespace rt::ui::qt {

// ---- [shown state] ----

using PropertyKey = std::pair<Long, Long>;

namespace {
constexpr char kNumberProperty[] = "rtNumber";
constexpr int kFrameKind = 1;
constexpr int kMdiChildKind = 2;
constexpr int kToolboxKind = 3;

// A window's client area: controls sit on it at fixed positions; its size hint is the size
// the program gave the window, so the outer widgets can size themselves around it.
class Client final : public QWidget {
 public:
  explicit Client(QWidget* parent = nullptr) : QWidget(parent) {}
  QSize sizeHint() const override { return hint_; }
  void SetHint(QSize hint) { hint_ = hint; }

 private:
  QSize hint_{200, 150};
};
}  // namespace

struct ShownControl {
  Long number = 0;
  Long type = 0;
  Long parent = 0;
  bool onToolbar = false;
  QPointer<QWidget> widget;  // none for menus, items, tabs and toolbar actions
  QPointer<QAction> action;  // items, toolbar controls, a menu's entry in its parent
  QPointer<QMenu> menu;      // menus
  QPointer<ListControl> list;
  std::map<PropertyKey, std::string> props;
  std::string Prop(Long property, Long index = 0) const {
    const auto found = props.find({property, index});
    return found == props.end() ? std::string() : found->second;
  }
};

struct ShownWindow {
  WindowId id = 0;
  Long thread = 0;
  int kind = 0;
  bool modal = false;
  WindowId frame = 0;
  std::uint64_t order = 0;
  QPointer<QWidget> outer;       // what is deleted when the window goes
  QPointer<QMainWindow> inner;   // menu bar, toolbar and client
  QPointer<Client> client;
  QPointer<QMdiArea> mdi;        // frames only
  QPointer<QToolBar> toolbar;
  QPointer<QObject> input;       // the window's WindowInput (no meta-object of its own to find it by)
  std::map<Long, ShownControl> controls;
  std::map<PropertyKey, std::string> props;
  bool destroyed = false;        // a frame the program closed while children were still open
  bool showPending = false;      // built, shown once the changes queued behind its opening are in
  Long pendingFocus = 0;         // focus asked for while the child was not the active one
  int applying = 0;              // > 0 while we change the widgets ourselves
  std::string Prop(Long property, Long index = 0) const {
    const auto found = props.find({property, index});
    return found == props.end() ? std::string() : found->second;
  }
  ShownControl* Find(Long number) {
    const auto found = controls.find(number);
    return found == controls.end() ? nullptr : &found->second;
  }
};

namespace {

void Send(InputKind kind, WindowId window, Long control = 0, Long key = 0, Long value = 0, std::string text = {}) {
  UserInput input;
  input.kind = kind;
  input.window = window;
  input.control = control;
  input.key = key;
  input.value = value;
  input.text = std::move(text);
  SendInput(std::move(input));
}

Long NumberOf(const QObject* object) {
  for (; object; object = object->parent()) {
    const QVariant number = object->property(kNumberProperty);
    if (number.isValid()) return number.value<qint32>();
  }
  return 0;
}

// An entry's limit counts bytes as the field stores them (UTF-8), not characters: a key that
// would pass it is refused, so no character is ever cut in half on leaving.
class ByteLimit final : public QValidator {
 public:
  ByteLimit(qsizetype limit, QObject* parent) : QValidator(parent), limit_(limit) {}
  State validate(QString& input, int&) const override {
    return input.toUtf8().size() <= limit_ ? Acceptable : Invalid;
  }

 private:
  qsizetype limit_;
};

// Keys the runtime acts on in each kind of control; anything else stays with the widget.
bool RuntimeKey(Long type, Long key) {
  if (key == KEY_Tab || key == KEY_ShiftTab || key == KEY_Esc) return true;
  const Long base = key & ~(KEY_Shift | KEY_Ctrl | KEY_Alt);
  if (base == KEY_Enter) return type == CT_Entry || type == CT_Button || type == CT_List;
  return false;
}

}  // namespace

// ---- [input from the user] ----

// Watches a window's widgets and turns what the user does into input for the window's thread.
class WindowInput final : public QObject {
 public:
  WindowInput(Screen& screen, WindowId window, QObject* parent) : QObject(parent), screen_(screen), window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    ShownWindow* window = screen_.Find(window_);
    if (!window || window->applying > 0) return false;
    switch (event->type()) {
      case QEvent::Close:
        if (watched != window->outer) return false;
        event->ignore();
        if (window->kind == kFrameKind) screen_.CloseDownAll();
        else Send(InputKind::Close, window_);
        return true;
      case QEvent::WindowStateChange: {
        if (watched != window->outer) return false;
        const auto* outer = static_cast<QWidget*>(watched);
        if (outer->isMinimized() && window->Prop(PROP_Iconize).empty()) Send(InputKind::Iconize, window_);
        else if (outer->isMaximized() && window->Prop(PROP_Maximize).empty()) Send(InputKind::Maximize, window_);
        else if (!outer->isMinimized() && !outer->isMaximized() &&
                 (!window->Prop(PROP_Maximize).empty() || !window->Prop(PROP_Iconize).empty()))
          Send(InputKind::Restore, window_);
        return false;
      }
      case QEvent::Resize: {
        // The user resized a resizable window: the runtime decides, and answers with its size.
        if (watched != window->outer || window->Prop(PROP_Resize).empty() || !window->client) return false;
        const auto* outer = static_cast<QWidget*>(watched);
        if (outer->isMaximized() || outer->isMinimized()) return false;
        // A frame's size is its outer size (as Place gives it), any other window's its client's.
        const QSize size = window->kind == kFrameKind ? outer->size() : window->client->size();
        const Long width = UnitsX(size.width());
        const Long height = UnitsY(size.height());
        if (width != PropNumber(window->Prop(PROP_Width)) || height != PropNumber(window->Prop(PROP_Height))) {
          UserInput input;
          input.kind = InputKind::Resize;
          input.window = window_;
          input.value = width;
          input.value2 = height;
          SendInput(std::move(input));
        }
        return false;
      }
      case QEvent::WindowActivate:
        if (watched == window->outer && (window->kind == 0 || window->kind == kToolboxKind))
          Send(InputKind::Activate, window_);
        return false;
      case QEvent::KeyPress: {
        const Long control = NumberOf(watched);
        const ShownControl* shown = window->Find(control);
        const Long key = KeyCodeOf(*static_cast<QKeyEvent*>(event));
        if (!shown || key == 0) return false;
        if (!screen_.IsAlerted(window_, control, key) && !RuntimeKey(shown->type, key)) return false;
        Send(InputKind::Key, window_, control, key);
        return true;
      }
      case QEvent::MouseButtonPress: {
        const Long control = NumberOf(watched);
        const ShownControl* shown = window->Find(control);
        if (!shown) return false;
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && screen_.IsAlerted(window_, control, KEY_MouseRight)) {
          Send(InputKind::Key, window_, control, KEY_MouseRight);
          return true;
        }
        // Clicking into an entry leaves the one being typed in: the runtime decides.
        if (mouse->button() == Qt::LeftButton && shown->type == CT_Entry) Send(InputKind::Focus, window_, control);
        return false;
      }
      case QEvent::MouseButtonRelease: {
        const Long control = NumberOf(watched);
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton && screen_.IsAlerted(window_, control, KEY_MouseRightUp)) {
          Send(InputKind::Key, window_, control, KEY_MouseRightUp);
          return true;
        }
        return false;
      }
      case QEvent::FocusIn: {
        const Long control = NumberOf(watched);
        screen_.ShowStatus(*window, control);
        // A mnemonic moves the focus inside the widgets: the runtime must leave its entry too.
        const ShownControl* shown = window->Find(control);
        if (shown && shown->type == CT_Entry && static_cast<QFocusEvent*>(event)->reason() == Qt::ShortcutFocusReason)
          Send(InputKind::Focus, window_, control);
        return false;
      }
      default:
        return false;
    }
  }

 private:
  Screen& screen_;
  const WindowId window_;
};

// ---- [windows] ----

Screen::Screen() = default;
Screen::~Screen() { Clear(); }

ShownWindow* Screen::Find(WindowId window) {
  const auto found = windows_.find(window);
  return found == windows_.end() ? nullptr : found->second.get();
}

std::optional<QPoint> Screen::GlobalPosition(Long thread, Long x, Long y) const {
  const ShownWindow* newest = nullptr;
  for (const auto& [id, w] : windows_)
    if (w->thread == thread && !w->destroyed && w->client && (!newest || w->order > newest->order)) newest = w.get();
  if (!newest) return std::nullopt;
  const QWidget* base = newest->mdi ? static_cast<const QWidget*>(newest->mdi) : newest->client;  // a frame's client is its MDI area
  return base->mapToGlobal(QPoint(PixelsX(x), PixelsY(y)));
}

QWidget* Screen::NewestOuterWidget(Long thread) const {
  const ShownWindow* newest = nullptr;
  for (const auto& [id, w] : windows_)
    if (w->thread == thread && !w->destroyed && w->outer && w->outer->isVisible() && (!newest || w->order > newest->order))
      newest = w.get();
  return newest ? newest->outer.data() : nullptr;
}

QWidget* Screen::OuterWidget(WindowId window) const {
  const auto found = windows_.find(window);
  return found == windows_.end() || found->second->destroyed ? nullptr : found->second->outer.data();
}

void Screen::CreateWindow(const WindowView& view) {
  auto window = std::make_unique<ShownWindow>();
  window->id = view.id;
  window->thread = view.thread;
  window->kind = view.kind;
  window->modal = view.modal;
  window->frame = view.frame;
  window->order = nextOrder_++;
  ShownWindow* frame = view.frame ? Find(view.frame) : nullptr;
  if (frame && (frame->destroyed || !frame->mdi)) frame = nullptr;

  auto* inner = new QMainWindow(nullptr, Qt::Widget);
  auto* client = new Client;
  window->inner = inner;
  window->client = client;
  if (view.kind == kFrameKind) {
    // The frame is one main window: its MDI area is the client, its status bar the program's.
    auto* mdi = new QMdiArea;
    mdi->setViewMode(QMdiArea::SubWindowView);
    inner->setCentralWidget(mdi);
    inner->statusBar()->setSizeGripEnabled(true);
    inner->setWindowFlags(Qt::Window);
    window->mdi = mdi;
    window->outer = inner;
    client->setParent(inner);
    client->hide();
    QObject::connect(mdi, &QMdiArea::subWindowActivated, mdi, [this](QMdiSubWindow* sub) {
      for (const auto& [id, w] : windows_)
        if (sub && w->outer == sub && w->applying == 0) ActivateChild(id);
    });
  } else {
    inner->setCentralWidget(client);
    if (view.kind == kMdiChildKind && frame) {
      auto* sub = new QMdiSubWindow;
      sub->setWidget(inner);
      sub->setAttribute(Qt::WA_DeleteOnClose, false);
      frame->mdi->addSubWindow(sub);
      window->outer = sub;
    } else {
      // An ordinary window or a toolbox stays above the frame it belongs to.
      QWidget* owner = frame ? frame->outer.data() : nullptr;
      inner->setParent(owner, view.kind == kToolboxKind ? Qt::Tool : owner ? Qt::Dialog : Qt::Window);
      window->outer = inner;
    }
  }
  window->outer->setObjectName(QString(kWindowNamePrefix) + QString::number(view.id));
  window->outer->setProperty("rtThread", QVariant::fromValue<qint32>(view.thread));
  window->input = new WindowInput(*this, view.id, window->outer);
  window->outer->installEventFilter(window->input);

  ShownWindow& shown = *window;
  shown.showPending = true;  // also through the opening properties: a maximized window waits too
  windows_[view.id] = std::move(window);
  ++shown.applying;
  for (const PropertyValue& p : view.properties) shown.props[{p.property, p.index}] = p.value;
  for (const ControlView& control : view.controls) Build(shown, control);
  for (const PropertyValue& p : view.properties) ApplyToWindow(shown, p);
  Place(shown);
  --shown.applying;
  UpdateModality(shown.thread);
  // What the program did to the window while it was being built (its first rows, its texts)
  // is queued behind this call: showing it after them lets the first paint carry them, where
  // showing it now would paint the window empty and at once again.
  QMetaObject::invokeMethod(shown.outer.data(), [this, id = view.id] { ShowPending(id); }, Qt::QueuedConnection);
}

void Screen::ShowPendingWindows() {
  for (const auto& entry : windows_) ShowPending(entry.first);  // ids grow: the newest shows last, on top
}

void Screen::ShowPending(WindowId id) {
  ShownWindow* shown = Find(id);
  // Shown already (a dialog came first), or a frame closed before it was shown: stays as it is.
  if (!shown || !shown->showPending || shown->destroyed) return;
  shown->showPending = false;
  ++shown->applying;
  if (shown->Prop(PROP_Maximize) == "1") shown->outer->showMaximized();
  else if (shown->Prop(PROP_Iconize) == "1") shown->outer->showMinimized();
  else shown->outer->show();
  if (shown->kind != kFrameKind) {
    shown->outer->raise();
    shown->outer->activateWindow();
  }
  --shown->applying;
}

// Sizes and places the outer widget from the window's position and size properties.
void Screen::Place(ShownWindow& window) {
  if (!window.outer || window.outer->isMaximized() || window.outer->isMinimized()) return;
  const QSize size(PixelsX(PropNumber(window.Prop(PROP_Width))), PixelsY(PropNumber(window.Prop(PROP_Height))));
  const QPoint at(PixelsX(PropNumber(window.Prop(PROP_XPos))), PixelsY(PropNumber(window.Prop(PROP_YPos))));
  ++window.applying;
  if (window.kind == kFrameKind) {
    window.outer->resize(size.expandedTo(QSize(320, 200)));
    window.outer->move(at);
  } else {
    window.client->SetHint(size);
    window.client->setMinimumSize(QSize(1, 1));
    window.inner->adjustSize();
    if (window.outer != window.inner) window.outer->adjustSize();
    window.outer->resize(window.outer->sizeHint().expandedTo(QSize(120, 60)));
    window.outer->move(at);
  }
  --window.applying;
}

void Screen::DestroyWindow(WindowId id) {
  ShownWindow* window = Find(id);
  if (!window) return;
  const Long thread = window->thread;
  const bool hasChildren = std::any_of(windows_.begin(), windows_.end(), [&](const auto& w) {
    return w.first != id && w.second->frame == id && !w.second->destroyed;
  });
  if (window->kind == kFrameKind && hasChildren) {
    // Closing the frame closes what lives in it; the frame goes once they have.
    window->destroyed = true;
    if (window->outer) window->outer->hide();
    for (const auto& [other, w] : windows_)
      if (w->frame == id) Send(InputKind::CloseDown, other);
  } else {
    Forget(id);
  }
  // A frame kept for its children goes with the last of them.
  for (auto it = windows_.begin(); it != windows_.end();) {
    const WindowId frameId = it->first;
    const bool orphaned = it->second->destroyed && std::none_of(windows_.begin(), windows_.end(), [&](const auto& w) {
      return w.second->frame == frameId && !w.second->destroyed;
    });
    ++it;
    if (orphaned) Forget(frameId);
  }
  UpdateModality(thread);
}

void Screen::Forget(WindowId id) {
  const auto found = windows_.find(id);
  if (found == windows_.end()) return;
  std::unique_ptr<ShownWindow> window = std::move(found->second);
  windows_.erase(found);
  if (window->outer) {
    window->outer->removeEventFilter(window->input);
    window->outer->hide();
    delete window->outer.data();  // owns the inner window, the client and every control
  }
}

void Screen::Clear() {
  while (!windows_.empty()) {
    // Children first: deleting a frame deletes its subwindows with it.
    auto child = std::find_if(windows_.begin(), windows_.end(), [](const auto& w) { return w.second->kind != kFrameKind; });
    Forget(child != windows_.end() ? child->first : windows_.begin()->first);
  }
}

void Screen::CloseDownAll() {
  for (const WindowId window : OpenWindows()) Send(InputKind::CloseDown, window);
}

// ---- [controls] ----

void Screen::CreateControl(WindowId window, const ControlView& control) {
  if (ShownWindow* shown = Find(window)) {
    ++shown->applying;
    Build(*shown, control);
    --shown->applying;
  }
}

void Screen::DestroyControl(WindowId window, Long control) {
  ShownWindow* shown = Find(window);
  if (!shown) return;
  const auto found = shown->controls.find(control);
  if (found == shown->controls.end()) return;
  delete found->second.widget.data();
  delete found->second.action.data();
  delete found->second.menu.data();
  shown->controls.erase(found);
}

void Screen::Build(ShownWindow& window, const ControlView& view) {
  ShownControl control;
  control.number = view.number;
  control.type = view.type;
  control.parent = view.parent;
  control.onToolbar = view.onToolbar;
  for (const PropertyValue& p : view.properties) control.props[{p.property, p.index}] = p.value;
  const WindowId id = window.id;
  const Long number = view.number;
  QObject* input = window.input;
  QWidget* client = window.client;
  const QString text = FromUtf8(control.Prop(PROP_Text));

  if (view.onToolbar) {
    if (!window.toolbar) {
      window.toolbar = window.inner->addToolBar("Toolbar");
      window.toolbar->setObjectName("rtToolbar");
      window.toolbar->setMovable(false);
      window.toolbar->setIconSize(QSize(16, 16));
    }
    QAction* action = window.toolbar->addAction(text);
    action->setObjectName(ControlName(number));
    QObject::connect(action, &QAction::triggered, action, [this, id, number] {
      if (ShownWindow* w = Find(id)) ToolbarPressed(*w, number);
    });
    if (QWidget* button = window.toolbar->widgetForAction(action)) button->setObjectName(ControlName(number));
    control.action = action;
  } else {
    switch (view.type) {
      case CT_MenuBar:
        window.inner->menuBar()->setObjectName(ControlName(number));
        break;
      case CT_Menu: {
        ShownControl* parent = window.Find(view.parent);
        auto* menu = new QMenu(text, window.inner);
        menu->setObjectName(ControlName(number));
        if (parent && parent->menu) parent->menu->addMenu(menu);
        else window.inner->menuBar()->addMenu(menu);
        control.menu = menu;
        control.action = menu->menuAction();
        break;
      }
      case CT_Item: {
        ShownControl* parent = window.Find(view.parent);
        QAction* action = nullptr;
        if (text == "-") {
          action = parent && parent->menu ? parent->menu->addSeparator() : window.inner->menuBar()->addSeparator();
        } else {
          action = parent && parent->menu ? parent->menu->addAction(text) : window.inner->menuBar()->addAction(text);
          QObject::connect(action, &QAction::triggered, action, [id, number] { Send(InputKind::Press, id, number); });
        }
        action->setObjectName(ControlName(number));
        control.action = action;
        break;
      }
      case CT_Button: {
        auto* button = new QPushButton(text, client);
        button->setAutoDefault(false);
        QObject::connect(button, &QPushButton::clicked, button, [id, number] { Send(InputKind::Press, id, number); });
        control.widget = button;
        break;
      }
      case CT_Entry: {
        auto* entry = new QLineEdit(client);
        entry->setText(text);
        // Typed text goes to the runtime and nothing comes back until the entry is left.
        QObject::connect(entry, &QLineEdit::textEdited, entry, [id, number](const QString& typed) {
          Send(InputKind::Type, id, number, 0, 0, typed.toStdString());
        });
        control.widget = entry;
        break;
      }
      case CT_Prompt:
      case CT_String: {
        auto* label = new QLabel(text, client);
        label->setTextFormat(Qt::PlainText);
        if (view.type == CT_String) label->setText(QString(text).replace("&&", "&"));
        control.widget = label;
        break;
      }
      case CT_Image: {
        auto* image = new QLabel(client);
        image->setAlignment(Qt::AlignCenter);
        control.widget = image;
        break;
      }
      case CT_Group:
      case CT_Option: {
        auto* group = new QGroupBox(text, client);
        control.widget = group;
        break;
      }
      case CT_Check: {
        auto* check = new QCheckBox(text, client);
        QObject::connect(check, &QCheckBox::clicked, check, [id, number] { Send(InputKind::Press, id, number); });
        control.widget = check;
        break;
      }
      case CT_Radio: {
        // The runtime decides which radio is on; a click always chooses the one clicked.
        auto* radio = new QRadioButton(text, client);
        radio->setAutoExclusive(false);
        QObject::connect(radio, &QRadioButton::clicked, radio, [radio, id, number] {
          radio->setChecked(true);
          Send(InputKind::Press, id, number);
        });
        control.widget = radio;
        break;
      }
      case CT_Region: {
        auto* region = new QFrame(client);
        region->setFrameShape(QFrame::NoFrame);
        region->setAttribute(Qt::WA_TransparentForMouseEvents);
        control.widget = region;
        break;
      }
      case CT_Sheet: {
        auto* sheet = new QTabWidget(client);
        // A sheet is the backdrop of the controls drawn over it, whether they are declared before
        // or after it (a browse declares its list and buttons first): it never covers them.
        sheet->lower();
        QObject::connect(sheet->tabBar(), &QTabBar::tabBarClicked, sheet, [id, number](int index) {
          if (index >= 0) Send(InputKind::PickRow, id, number, KEY_MouseLeft, index + 1);
        });
        control.widget = sheet;
        break;
      }
      case CT_Tab: {
        // The tab's controls are the window's own, shown and hidden by the runtime; the page stays empty.
        ShownControl* sheet = window.Find(view.parent);
        if (auto* tabs = sheet ? qobject_cast<QTabWidget*>(sheet->widget.data()) : nullptr) {
          ++window.applying;
          tabs->addTab(new QWidget, text);
          --window.applying;
        }
        break;
      }
      case CT_List: {
        auto* list = new ListControl(id, number, [this, id, number](Long key) { return IsAlerted(id, number, key); }, client);
        list->SetFormat(control.Prop(PROP_Text));
        list->Table()->setProperty(kNumberProperty, QVariant::fromValue<qint32>(number));
        control.list = list;
        control.widget = list;
        break;
      }
      default: {
        auto* label = new QLabel(text, client);
        control.widget = label;
        break;
      }
    }
  }
  if (control.widget) {
    control.widget->setObjectName(ControlName(number));
    control.widget->setProperty(kNumberProperty, QVariant::fromValue<qint32>(number));
    control.widget->setFocusPolicy(view.type == CT_Entry || view.type == CT_Button || view.type == CT_List ||
                                           view.type == CT_Sheet || view.type == CT_Check || view.type == CT_Radio
                                       ? Qt::ClickFocus
                                       : Qt::NoFocus);
    if (input) control.widget->installEventFilter(input);
    // A sheet's focus lives on its tab bar: Tab there must reach the runtime too, or Qt's own
    // focus chain would walk through widgets the runtime does not know.
    if (auto* sheet = qobject_cast<QTabWidget*>(control.widget.data())) {
      sheet->tabBar()->setFocusPolicy(Qt::ClickFocus);
      if (input) sheet->tabBar()->installEventFilter(input);
    }
    control.widget->show();
  }
  window.controls[number] = std::move(control);
  for (const PropertyValue& p : view.properties) Apply(window, number, p);
  // A prompt's mnemonic takes the user to the control declared after it.
  if (view.type != CT_Prompt && view.type != CT_Tab && view.type != CT_Item && view.type != CT_Menu) {
    for (auto& [n, c] : window.controls)
      if (c.type == CT_Prompt && n == number - 1)
        if (auto* label = qobject_cast<QLabel*>(c.widget.data()); label && window.Find(number)->widget)
          label->setBuddy(window.Find(number)->widget);
  }
}

// ---- [properties] ----

void Screen::SetProperty(WindowId window, Long control, const PropertyValue& value) {
  ShownWindow* shown = Find(window);
  if (!shown) return;
  ++shown->applying;
  if (control == 0) {
    shown->props[{value.property, value.index}] = value.value;
    ApplyToWindow(*shown, value);
  } else {
    Apply(*shown, control, value);
  }
  --shown->applying;
}

void Screen::ApplyToWindow(ShownWindow& window, const PropertyValue& value) {
  if (!window.outer) return;
  const QString text = FromUtf8(value.value);
  switch (value.property) {
    case PROP_Text: window.outer->setWindowTitle(text); break;
    case PROP_XPos: case PROP_YPos: case PROP_Width: case PROP_Height: Place(window); break;
    case PROP_Maximize:
    case PROP_Iconize: {
      if (window.showPending) break;  // the pending show reads it
      const bool maximize = value.property == PROP_Maximize;
      if (value.value == "1") maximize ? window.outer->showMaximized() : window.outer->showMinimized();
      else if (maximize ? window.outer->isMaximized() : window.outer->isMinimized()) window.outer->showNormal();
      break;
    }
    case PROP_Font: window.inner->setFont(FontFor(value.value)); break;
    case PROP_Icon: window.outer->setWindowIcon(IconNamed(value.value)); break;
    case PROP_StatusText:
      // A frame's own status text is a notice that stays, beside the hints of controls that come
      // and go as the focus moves.
      if (window.kind == kFrameKind && window.inner) {
        QStatusBar* bar = window.inner->statusBar();
        auto* label = bar->findChild<QLabel*>(QStringLiteral("frameStatusText"));
        if (!label) {
          label = new QLabel(bar);
          label->setObjectName(QStringLiteral("frameStatusText"));
          bar->addPermanentWidget(label);
        }
        label->setText(text);
      }
      break;
    default: break;
  }
}

void Screen::Apply(ShownWindow& window, Long number, const PropertyValue& value) {
  ShownControl* control = window.Find(number);
  if (!control) return;
  control->props[{value.property, value.index}] = value.value;
  const QString text = FromUtf8(value.value);
  const bool on = PropNumber(value.value) != 0;
  QWidget* widget = control->widget;
  QAction* action = control->action;
  switch (value.property) {
    case PROP_Text:
      if (action) action->setText(text);
      if (control->type == CT_Menu && control->menu) control->menu->setTitle(text);
      if (auto* entry = qobject_cast<QLineEdit*>(widget)) {
        if (entry->text() != text) entry->setText(text);
      } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
      } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(text);
      } else if (control->type == CT_List && control->list) {
        control->list->SetFormat(value.value);
      } else if (auto* label = qobject_cast<QLabel*>(widget); label && control->type != CT_Image) {
        label->setText(control->type == CT_String ? QString(text).replace("&&", "&") : text);
      } else if (control->type == CT_Tab) {
        ShownControl* sheet = window.Find(control->parent);
        if (auto* tabs = sheet ? qobject_cast<QTabWidget*>(sheet->widget.data()) : nullptr) {
          int index = 0;
          for (const auto& [n, c] : window.controls) {
            if (n == number) break;
            if (c.type == CT_Tab && c.parent == control->parent) ++index;
          }
          tabs->setTabText(index, text);
        }
      }
      break;
    case PROP_XPos: case PROP_YPos: case PROP_Width: case PROP_Height:
      if (widget) {
        const Long width = PropNumber(control->Prop(PROP_Width));
        const Long height = PropNumber(control->Prop(PROP_Height));
        widget->move(PixelsX(PropNumber(control->Prop(PROP_XPos))), PixelsY(PropNumber(control->Prop(PROP_YPos))));
        const QSize hint = widget->sizeHint();
        widget->resize(width > 0 ? PixelsX(width) : hint.width(), height > 0 ? PixelsY(height) : hint.height());
      }
      break;
    case PROP_Font: if (widget) widget->setFont(FontFor(value.value)); break;
    case PROP_Icon:
      if (action) action->setIcon(IconNamed(value.value));
      if (auto* button = qobject_cast<QPushButton*>(widget)) button->setIcon(IconNamed(value.value));
      if (auto* image = qobject_cast<QLabel*>(widget); image && control->type == CT_Image) {
        const QSize size = image->size().isEmpty() ? QSize(32, 32) : image->size();
        image->setPixmap(IconNamed(value.value).pixmap(size.boundedTo(QSize(256, 256))));
      }
      break;
    case PROP_Tip:
      if (widget) widget->setToolTip(text);
      if (action) action->setToolTip(text);
      break;
    case PROP_StatusText:
      if (widget) widget->setStatusTip(text);
      if (action) action->setStatusTip(text);
      break;
    case PROP_Default:
      if (auto* button = qobject_cast<QPushButton*>(widget)) button->setDefault(on);
      break;
    case PROP_Disable:
      if (widget) widget->setEnabled(!on);
      if (action) action->setEnabled(!on);
      break;
    case PROP_Visible:
      if (widget) widget->setVisible(on);
      if (action) action->setVisible(on);
      break;
    case PROP_ReadOnly:
      if (auto* entry = qobject_cast<QLineEdit*>(widget)) entry->setReadOnly(on);
      break;
    case PROP_MaxBytes:
      if (auto* entry = qobject_cast<QLineEdit*>(widget)) {
        const QValidator* before = entry->validator();
        const Long limit = PropNumber(value.value);
        entry->setValidator(limit > 0 ? new ByteLimit(limit, entry) : nullptr);
        delete before;
      }
      break;
    case PROP_SelectText:
      if (auto* entry = qobject_cast<QLineEdit*>(widget); entry && on) {
        entry->setFocus(Qt::OtherFocusReason);
        entry->selectAll();
      }
      break;
    case PROP_Checked:
      if (auto* box = qobject_cast<QAbstractButton*>(widget); box && box->isCheckable()) box->setChecked(on);
      if (action && control->type == CT_Item) {
        action->setCheckable(on || action->isCheckable());
        action->setChecked(on);
      }
      break;
    case PROP_Selected:
      if (control->list) control->list->SetSelectedRow(PropNumber(value.value));
      if (auto* tabs = qobject_cast<QTabWidget*>(widget)) tabs->setCurrentIndex(static_cast<int>(PropNumber(value.value)) - 1);
      break;
    case PROP_VScrollPos: if (control->list) control->list->SetThumb(PropNumber(value.value)); break;
    case PROP_VScroll: if (control->list) control->list->SetScrollBarShown(on); break;
    case PROP_Imm: if (control->list) control->list->SetImmediate(on); break;
    default: break;
  }
}

void Screen::SetListRows(WindowId window, Long control, const ListRowsView& rows) {
  ShownWindow* shown = Find(window);
  ShownControl* list = shown ? shown->Find(control) : nullptr;
  if (list && list->list) list->list->SetPage(rows);
}

bool Screen::IsAlerted(WindowId window, Long control, Long key) {
  ShownWindow* shown = Find(window);
  if (!shown || key == 0) return false;
  const std::string wanted = std::to_string(key);
  const auto has = [&](const std::map<PropertyKey, std::string>& props) {
    return std::any_of(props.begin(), props.end(),
                       [&](const auto& p) { return p.first.first == PROP_Alrt && p.first.second > 0 && p.second == wanted; });
  };
  const ShownControl* c = shown->Find(control);
  return has(shown->props) || (c && has(c->props));
}

// ---- [focus, modality and the frame's commands] ----

void Screen::SetFocus(WindowId window, Long control) {
  ShownWindow* shown = Find(window);
  if (!shown || !shown->outer) return;
  // Focus in a child that is not the active one waits until the user activates it, so a
  // thread in the background never takes the keyboard from the window the user works in.
  if (auto* sub = qobject_cast<QMdiSubWindow*>(shown->outer.data())) {
    if (sub->mdiArea() && sub->mdiArea()->activeSubWindow() != sub && sub->mdiArea()->activeSubWindow()) {
      shown->pendingFocus = control;
      return;
    }
  }
  ShownControl* c = shown->Find(control);
  QWidget* target = c && c->list ? c->list->Table() : c ? c->widget.data() : shown->client.data();
  if (target) {
    target->setFocus(Qt::OtherFocusReason);
    // The runtime moves the focus for the keyboard (Tab, Enter, a mnemonic), so the window shows
    // where it is as after Tab: styles draw a button's focus frame only then.
    if (QWidget* top = target->window()) top->setAttribute(Qt::WA_KeyboardFocusChange);
  }
  ShowStatus(*shown, control);
}

void Screen::ShowStatus(const ShownWindow& window, Long control) {
  const auto found = window.controls.find(control);
  if (found == window.controls.end()) return;
  const std::string text = found->second.Prop(PROP_StatusText);
  const WindowId frameId = window.kind == kFrameKind ? window.id : window.frame;
  ShownWindow* frame = Find(frameId);
  if (frame && frame->inner && !text.empty()) frame->inner->statusBar()->showMessage(FromUtf8(text));
}

void Screen::ActivateChild(WindowId child) {
  ShownWindow* shown = Find(child);
  if (!shown) return;
  Send(InputKind::Activate, child);
  if (shown->pendingFocus) {
    const Long focus = std::exchange(shown->pendingFocus, 0);
    SetFocus(child, focus);
  }
}

// A window under a modal window of its own thread takes no input; other threads' windows do.
void Screen::UpdateModality(Long thread) {
  std::vector<ShownWindow*> mine;
  for (const auto& [id, w] : windows_)
    if (w->thread == thread && !w->destroyed) mine.push_back(w.get());
  std::sort(mine.begin(), mine.end(), [](const ShownWindow* a, const ShownWindow* b) { return a->order < b->order; });
  for (std::size_t i = 0; i < mine.size(); ++i) {
    const bool blocked = std::any_of(mine.begin() + static_cast<long>(i) + 1, mine.end(), [](const ShownWindow* w) { return w->modal; });
    ShownWindow& w = *mine[i];
    if (!w.inner) continue;
    if (w.kind == kFrameKind) {
      // The frame's MDI area holds other threads' windows: only its own menu and toolbar stop.
      w.inner->menuBar()->setEnabled(!blocked);
      if (w.toolbar) w.toolbar->setEnabled(!blocked);
    } else {
      w.inner->setEnabled(!blocked);
    }
  }
}

// A toolbar button acts on the active MDI child, on whatever thread owns it; with no child
// active it is the frame's own.
void Screen::ToolbarPressed(ShownWindow& window, Long control) {
  if (window.kind == kFrameKind && window.mdi) {
    if (QMdiSubWindow* active = window.mdi->activeSubWindow()) {
      for (const auto& [id, w] : windows_) {
        if (w->outer == active) {
          Send(InputKind::Command, id, control);
          return;
        }
      }
    }
  }
  Send(InputKind::Press, window.id, control);
}

void Screen::SetWaitCursor(Long thread, bool on) {
  for (const auto& [id, w] : windows_) {
    if (w->thread != thread || !w->inner) continue;
    if (on) w->inner->setCursor(Qt::WaitCursor);
    else w->inner->unsetCursor();
  }
}

}  // namespace rt::ui::qt
