#pragma once
// A page of rows read ahead by a file or a view. The rows keep their storage from one read to
// the next, so walking a file does not allocate per row. Owns only the rows it holds.

#include <chrono>
#include <cstddef>
#include <utility>
#include <vector>

#include "runtime/data/driver.h"
#include "runtime/platform/platform.h"

namespace rt {

class RowPage {
 public:
  RowPage() = default;
  // Starts with rows another page gave up (Release), so their storage is not made again.
  explicit RowPage(std::vector<RowImage> rows) : rows_(std::move(rows)), next_(rows_.size()) {}

  bool IsEmpty() const { return next_ >= rows_.size(); }
  bool IsBackward() const { return backward_; }
  // Asked before each row is taken: the coarse clock costs a fraction of the precise one.
  bool IsOlderThan(std::chrono::seconds age) const { return platform::CoarseMonotonicTime() - read_ > age; }
  void Drop() { next_ = rows_.size(); }

  // The rows to hand to Driver::Read, which fills them from the start.
  std::vector<RowImage>& BeginRefill(bool backward) {
    backward_ = backward;
    read_ = platform::CoarseMonotonicTime();
    next_ = 0;
    return rows_;
  }
  // The next row; valid until the next refill. Call only when not empty.
  RowImage& Take() { return rows_[next_++]; }
  // Gives up the rows with their storage; the page is empty after it.
  std::vector<RowImage> Release() {
    next_ = 0;
    return std::exchange(rows_, {});
  }

 private:
  std::vector<RowImage> rows_;
  std::size_t next_ = 0;
  bool backward_ = false;
  std::chrono::milliseconds read_{};
};

}  // namespace rt
