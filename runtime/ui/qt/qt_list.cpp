#include "runtime/ui/qt/qt_list.h"

#include <QAbstractTableModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>

#include <vector>

#include "runtime/ui/events.h"
#include "runtime/ui/input_sink.h"
#include "runtime/ui/list_format.h"
#include "runtime/ui/qt/qt_look.h"

namespace rt::ui::qt {

// The shown page as a table model: as many rows as the runtime sent, never the source's.
class PageModel final : public QAbstractTableModel {
 public:
  void SetColumns(std::vector<ListColumn> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
  }
  void SetPage(const ListRowsView& page) {
    const bool sameShape = page.rows.size() == page_.rows.size() && page.headings == page_.headings;
    page_ = page;
    if (sameShape && !page_.rows.empty()) {
      Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
    } else {
      beginResetModel();
      endResetModel();
    }
  }
  const ListRowsView& Page() const { return page_; }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(page_.rows.size());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
  }
  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole) {
      const auto& cells = page_.rows[static_cast<std::size_t>(index.row())];
      return index.column() < static_cast<int>(cells.size()) ? FromUtf8(cells[static_cast<std::size_t>(index.column())])
                                                             : QString();
    }
    if (role == Qt::TextAlignmentRole)
      return QVariant::fromValue(Alignment(columns_[static_cast<std::size_t>(index.column())].alignment));
    return {};
  }
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || section >= static_cast<int>(columns_.size())) return {};
    const ListColumn& column = columns_[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) {
      const auto& headings = page_.headings;
      return FromUtf8(section < static_cast<int>(headings.size()) ? headings[static_cast<std::size_t>(section)] : column.heading);
    }
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Alignment(column.headingAlignment));
    return {};
  }
  static Qt::Alignment Alignment(char align) {
    switch (align) {
      case 'R': case 'D': return Qt::AlignRight | Qt::AlignVCenter;  // decimals line up at the right
      case 'C': return Qt::AlignHCenter | Qt::AlignVCenter;
      default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
  }

 private:
  std::vector<ListColumn> columns_;
  ListRowsView page_;
};

namespace {

bool IsListKey(Long key) {
  const Long base = key & ~KEY_Shift;
  switch (key) {
    case KEY_Up: case KEY_Down: case KEY_PgUp: case KEY_PgDn: case KEY_Home: case KEY_End:
    case KEY_CtrlHome: case KEY_CtrlEnd: case KEY_Enter: case KEY_Tab: case KEY_ShiftTab: return true;
    default: return (base >= '0' && base <= '9') || (base >= 'A' && base <= 'Z');
  }
}

}  // namespace

ListControl::ListControl(WindowId window, Long number, std::function<bool(Long)> alerted, QWidget* parent)
    : QWidget(parent),
      window_(window),
      number_(number),
      alerted_(std::move(alerted)),
      model_(std::make_unique<PageModel>()),
      table_(new QTableView(this)),
      bar_(new QScrollBar(Qt::Vertical, this)) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(table_);
  layout->addWidget(bar_);
  table_->setModel(model_.get());
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // the program owns scrolling
  // The page is all the table holds, so it never scrolls itself: selecting a row that is only
  // partly shown would slide the top row under the headings. Columns keep the format's widths;
  // a bar across would hide the last row.
  table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  table_->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  table_->setAutoScroll(false);
  QObject::connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, table_,
                   [this](int value) { if (value != 0) table_->verticalScrollBar()->setValue(0); });
  table_->verticalHeader()->hide();
  // Lines as high as the runtime counts them, heading included, so an edit control the runtime
  // lays over a cell covers it.
  table_->verticalHeader()->setMinimumSectionSize(1);
  table_->verticalHeader()->setDefaultSectionSize(PixelsY(10));
  table_->horizontalHeader()->setFixedHeight(PixelsY(10));
  table_->setFrameShape(QFrame::NoFrame);
  table_->horizontalHeader()->setHighlightSections(false);
  table_->setShowGrid(false);
  table_->setWordWrap(false);
  table_->setFocusPolicy(Qt::ClickFocus);
  table_->installEventFilter(this);
  table_->viewport()->installEventFilter(this);
  bar_->setFocusPolicy(Qt::NoFocus);  // the list's own part: Tab never stops on it
  bar_->setRange(0, 100);
  bar_->setPageStep(10);
  bar_->hide();
  // The thumb is the program's: a step or page click becomes a scroll event and the thumb
  // stays where the program put it; a drag reports where it was let go.
  QObject::connect(bar_, &QScrollBar::actionTriggered, this, [this](int action) {
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd: Send(static_cast<int>(InputKind::Scroll), 0, EVENT_ScrollDown); break;
      case QAbstractSlider::SliderSingleStepSub: Send(static_cast<int>(InputKind::Scroll), 0, EVENT_ScrollUp); break;
      case QAbstractSlider::SliderPageStepAdd: Send(static_cast<int>(InputKind::Scroll), 0, EVENT_PageDown); break;
      case QAbstractSlider::SliderPageStepSub: Send(static_cast<int>(InputKind::Scroll), 0, EVENT_PageUp); break;
      case QAbstractSlider::SliderToMinimum: Send(static_cast<int>(InputKind::Scroll), 0, EVENT_ScrollTop); break;
      case QAbstractSlider::SliderToMaximum: Send(static_cast<int>(InputKind::Scroll), 0, EVENT_ScrollBottom); break;
      default: return;
    }
    bar_->setSliderPosition(static_cast<int>(thumb_));
  });
  QObject::connect(bar_, &QScrollBar::sliderReleased, this,
                   [this] { Send(static_cast<int>(InputKind::DragThumb), 0, bar_->sliderPosition()); });
}

ListControl::~ListControl() {
  table_->setModel(nullptr);
}

const ListRowsView& ListControl::Page() const { return model_->Page(); }

void ListControl::SetFormat(std::string_view format) {
  auto columns = ParseListFormat(format);
  if (!columns) return;
  std::vector<int> widths;
  for (const ListColumn& column : *columns) widths.push_back(PixelsX(column.width));
  const bool headings = std::any_of(columns->begin(), columns->end(), [](const ListColumn& c) { return c.hasHeading; });
  model_->SetColumns(std::move(*columns));
  for (std::size_t i = 0; i < widths.size(); ++i) table_->setColumnWidth(static_cast<int>(i), widths[i]);
  table_->horizontalHeader()->setVisible(headings);
  table_->horizontalHeader()->setStretchLastSection(false);  // the format's widths, as the runtime lays cells out
}

void ListControl::SetPage(const ListRowsView& page) {
  model_->SetPage(page);
  ShowSelection();
  UpdateThumb();
}

void ListControl::SetSelectedRow(Long row) {
  selected_ = row;
  ShowSelection();
  UpdateThumb();
}

void ListControl::SetThumb(Long position) {
  thumb_ = position;
  UpdateThumb();
}

void ListControl::SetImmediate(bool on) {
  immediate_ = on;
  UpdateThumb();
}

void ListControl::SetScrollBarShown(bool on) { bar_->setVisible(on); }

void ListControl::ShowSelection() {
  const Long at = selected_ - model_->Page().first;
  if (selected_ <= 0 || at < 0 || at >= model_->rowCount()) {
    table_->clearSelection();
    return;
  }
  table_->selectRow(static_cast<int>(at));
}

// An immediate list's thumb is where the program put it; any other list's follows the selection.
void ListControl::UpdateThumb() {
  if (!immediate_) {
    const Long total = model_->Page().total;
    thumb_ = total > 1 && selected_ > 0 ? (selected_ - 1) * 100 / (total - 1) : 0;
  }
  bar_->setSliderPosition(static_cast<int>(thumb_));
}

void ListControl::Send(int kind, Long key, Long value, Long value2) const {
  UserInput input;
  input.kind = static_cast<InputKind>(kind);
  input.window = window_;
  input.control = number_;
  input.key = key;
  input.value = value;
  input.value2 = value2;
  SendInput(std::move(input));
}

std::pair<Long, Long> ListControl::CellAt(QPoint point) const {
  const int row = table_->rowAt(point.y());
  if (row < 0) return {0, 0};
  const int column = table_->columnAt(point.x());
  return {model_->Page().first + row, column < 0 ? 0 : column + 1};
}

bool ListControl::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      const Long key = KeyCodeOf(*static_cast<QKeyEvent*>(event));
      if (key == 0 || !(IsListKey(key) || alerted_(key))) return false;
      Send(static_cast<int>(InputKind::Key), key, 0);
      return true;
    }
    case QEvent::Wheel: {
      const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
      if (delta != 0) Send(static_cast<int>(InputKind::Scroll), 0, delta < 0 ? EVENT_ScrollDown : EVENT_ScrollUp);
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      if (watched != table_->viewport()) return false;
      auto* mouse = static_cast<QMouseEvent*>(event);
      const auto [row, column] = CellAt(mouse->position().toPoint());
      if (mouse->button() == Qt::RightButton) {
        if (alerted_(KEY_MouseRight)) Send(static_cast<int>(InputKind::Key), KEY_MouseRight, row, column);
        return true;
      }
      if (mouse->button() != Qt::LeftButton || row == 0) return true;
      const bool twice = event->type() == QEvent::MouseButtonDblClick;
      Send(static_cast<int>(InputKind::PickRow), twice ? KEY_MouseLeft2 : KEY_MouseLeft, row, column);
      return true;
    }
    case QEvent::MouseButtonRelease: {
      if (watched != table_->viewport()) return false;
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton && alerted_(KEY_MouseRightUp)) {
        const auto [row, column] = CellAt(mouse->position().toPoint());
        Send(static_cast<int>(InputKind::Key), KEY_MouseRightUp, row, column);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace rt::ui::qt
