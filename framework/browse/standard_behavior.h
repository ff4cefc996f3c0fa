#pragma once
// The two interfaces through which a browse reaches its rows and its list control, and
// StandardBehavior, which makes a runtime queue and a list control of the browse's window serve
// as both. StandardBehavior owns neither the queue, nor the position field, nor the window; it
// calls runtime/data's queue and the window's properties by number (runtime/ui).

#include <string>
#include <string_view>

#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"

namespace rt {
class Queue;
class RecordLayout;
class Window;
}  // namespace rt
class WindowManager;

// The browse's rows. Each row carries the view position of its record. Positions are 1-based.
class BrowseQueue {
 public:
  virtual rt::Long Records() = 0;
  virtual void Insert() = 0;                   // the current row, at the end
  virtual void Insert(rt::Long position) = 0;  // the current row, at the position
  virtual void Fetch(rt::Long position) = 0;   // the row becomes current; rt::ErrorCode() 33 when none
  virtual void Update() = 0;
  virtual void Delete() = 0;                   // the row fetched last
  // The row at the position, without fetching it first (scrolling drops a row for each it adds).
  virtual void Delete(rt::Long position) = 0;
  virtual void Free() = 0;
  virtual std::string Who(rt::Long column) = 0;  // the name of the row's field `column`
  virtual std::string GetViewPosition() = 0;
  virtual void SetViewPosition(std::string_view position) = 0;
  // The view position of the row at the position ("" when none), read without fetching the row:
  // the current row and the buffer stay as they are.
  virtual std::string ViewPositionAt(rt::Long position) = 0;

 protected:
  ~BrowseQueue() = default;
};

// The list control that shows the rows.
class IListControl {
 public:
  virtual rt::Long Choice() = 0;     // the highlighted row, 0 for none
  virtual rt::Long GetControl() = 0;
  virtual rt::Long GetItems() = 0;   // rows the list shows at once
  virtual rt::Byte GetVisible() = 0;
  virtual void SetChoice(rt::Long row) = 0;
  virtual void SetControl(rt::Long control) = 0;

 protected:
  ~IListControl() = default;
};

// Created by BrowseClass::Init(listControl, ...) (or by hand) and freed by the browse's Kill.
class StandardBehavior final : public BrowseQueue, public IListControl {
 public:
  // `position` is the queue buffer's field that holds each row's view position; `layout`, when
  // given, names the fields for Who. `owner` is the window whose list this is; until it has
  // opened its window, the calling thread's top window is used.
  void Init(rt::Queue& queue, rt::FieldRef position, rt::Long listControl, const WindowManager* owner = nullptr,
            const rt::RecordLayout* layout = nullptr);

  // ---- BrowseQueue ----
  rt::Long Records() override;
  void Insert() override;
  void Insert(rt::Long position) override;
  void Fetch(rt::Long position) override;
  void Update() override;
  void Delete() override;
  void Delete(rt::Long position) override;
  void Free() override;
  std::string Who(rt::Long column) override;
  std::string GetViewPosition() override;
  std::string ViewPositionAt(rt::Long position) override;
  void SetViewPosition(std::string_view position) override;

  // ---- IListControl ----
  rt::Long Choice() override;
  rt::Long GetControl() override { return LC; }
  rt::Long GetItems() override;
  rt::Byte GetVisible() override;
  void SetChoice(rt::Long row) override;
  void SetControl(rt::Long control) override { LC = control; }

  rt::Queue* Q = nullptr;
  rt::FieldRef S;
  rt::Long LC = 0;

 private:
  rt::Window* ListWindow() const;
  std::string ListProp(rt::Long property) const;

  const WindowManager* owner_ = nullptr;
  const rt::RecordLayout* layout_ = nullptr;
};
