#pragma once
// Internal to runtime/ui/qt: a runtime list on screen. Shows only the page the runtime sends
// (the rows on screen, never the whole source), with the format string's widths, alignment and
// headings, and a scroll bar whose thumb the program owns. Owns its table, model and scroll bar;
// calls runtime/ui's input sink for what the user does (rows picked, keys, wheel, the thumb).
// Qt thread only.

#include <QPoint>
#include <QWidget>

#include <memory>
#include <set>
#include <string_view>
#include <utility>

#include "runtime/ui/screen.h"

class QScrollBar;
class QTableView;

namespace rt::ui::qt {

class PageModel;

class ListControl final : public QWidget {
 public:
  // `alerted` answers whether a key is alerted on the list or its window.
  ListControl(WindowId window, Long number, std::function<bool(Long key)> alerted, QWidget* parent);
  ~ListControl() override;
  ListControl(const ListControl&) = delete;
  ListControl& operator=(const ListControl&) = delete;

  // ---- What the runtime sends ----
  void SetFormat(std::string_view format);
  void SetPage(const ListRowsView& page);
  void SetSelectedRow(Long row);  // as the list numbers rows; 0 none
  void SetThumb(Long position);   // 0..100
  void SetImmediate(bool on);
  void SetScrollBarShown(bool on);

  // ---- Query state (tests) ----
  QTableView* Table() const { return table_; }
  QScrollBar* ScrollBar() const { return bar_; }
  const ListRowsView& Page() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Send(int kind, Long key, Long value, Long value2 = 0) const;
  // The list row (1-based, 0 when none) and column (1-based, 0 when none) under a viewport point.
  std::pair<Long, Long> CellAt(QPoint point) const;
  void ShowSelection();
  void UpdateThumb();

  const WindowId window_;
  const Long number_;
  std::function<bool(Long)> alerted_;
  std::unique_ptr<PageModel> model_;
  QTableView* table_;  // children of this widget
  QScrollBar* bar_;
  Long selected_ = 0;
  Long thumb_ = 0;
  bool immediate_ = false;
};

}  // namespace rt::ui::qt
