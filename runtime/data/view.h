#pragma once
// Views: an ordered, filtered, range-limited projection over a primary file and files joined to
// it by key. A view reads the primary file's driver a page at a time (keyset pagination over the
// order's sort key and the record pointer), so walking it costs memory in the page size, never
// in the file's size. Owns its order, filter, limits, cursor and page; never owns the files
// (they outlive the view) or their record buffers, into which it loads each row.
// Every operation sets the calling thread's last error; reads run the primary file's
// callbacks with the "through a view" flag.

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/file.h"
#include "runtime/data/row_page.h"
#include "runtime/data/view_filter.h"

namespace rt {

// Read-ahead and buffering of a view (the runtime's FILE_BUFFER).
struct ViewBuffering {
  std::size_t pageSize = 20;  // rows per read
  std::size_t pagesBehind = 2;
  std::size_t pagesAhead = 0;  // extra pages read at once
  Long timeOutSeconds = 60;    // a page older than this is read again
};

class View {
 public:
  // `parser` turns filter text into a filter; without one, filters are the runtime's expressions
  // over the thread's BIND scopes (expression_filter.h).
  explicit View(File& primary, FilterParser parser = {});
  ~View();
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  // ---- Declaring ----
  // Joins `file` by its key `key`: component i takes the primary record's field primaryFields[i].
  // A primary record without a match leaves the joined record cleared.
  void Join(File& file, std::size_t key, std::vector<std::size_t> primaryFields);

  // ---- Open and close ----
  void Open(Long mode = ReadWrite | DenyWrite);  // 37 when the primary file is closed; 52 when open
  void Close();
  bool IsOpen() const { return open_; }

  // ---- Properties: PropViewOrder, PropViewFilter, PropViewFileCount, PropViewFile ----
  std::string Property(Long number, Long index = 0) const;
  // A bad order or filter sets the error and keeps the one before, also on an open view.
  void SetProperty(Long number, std::string_view value);
  File* FileAt(std::size_t number) const;  // 1: the primary file; null beyond the count
  void SetBuffering(const ViewBuffering& buffering);
  ViewFilter* Filter() const { return filter_.get(); }

  // ---- Range limits ----
  // Keeps the view to rows whose first `components` order fields equal the primary record's
  // values now (0: no limit).
  void SetLimits(std::size_t components);

  // ---- Position ----
  void Set();                                // the start (or, for Previous, the end) of the order
  void SetFromBuffer(std::size_t components);  // from the primary record's first order values
  void Reset(std::string_view position);     // Next reads the record at the position
  // Of the row last read ("" when none). At most File::kMaxPosition bytes: a sort key too wide
  // for that is left out and taken from the record again when the position is used.
  std::string Position() const;
  void Position(std::string& out) const;     // the same into `out`, reusing its storage
  void Flush();                              // forgets buffered pages

  // ---- Read ----
  void Next();      // 33 at the end
  void Previous();  // 33 at the start
  // The next read (or Reget) is watched, so a Put of the primary record can fail with 89;
  // 80 where the driver keeps no versions.
  void Watch();
  void Reget(std::string_view position);  // reads the record at the position afresh

 private:
  struct Join_ {
    File* file;
    std::size_t key;
    std::vector<std::size_t> fields;
  };

  struct SavedBuffers;

  DriverStatus RequireOpen() const;
  DriverStatus Step(bool backward);
  DriverStatus LoadRow(RowImage& row);
  void LoadJoins();
  void PushFilterDown();
  bool ParseOrder(std::string_view text, ReadRequest& order, std::string& error) const;
  std::string Encode(std::size_t components, bool pastEnd) const;
  // A position's sort key; one too wide to travel is left out and made again from the record.
  DriverStatus SortKeyOf(const std::string& given, std::int64_t pointer, std::string& key, RowImage* row);

  File& primary_;
  FilterParser parser_;
  std::vector<Join_> joins_;
  bool open_ = false;
  std::string orderText_;
  ReadRequest order_;  // key or parts; limits in low/high
  std::vector<OrderPart> parts_;  // the order's fields, also when a key serves them
  std::unique_ptr<ViewFilter> filter_;
  std::optional<SqlWhere> pushed_;
  ViewBuffering buffering_;
  // Where the next read in each direction goes on from; while boundsAtLast_, both are the row
  // last read (last_), which a walk would otherwise copy into each bound on every row.
  OrderBound forward_, backward_;
  bool boundsAtLast_ = false;
  RowPage page_;
  RowImage last_;
  bool hasLast_ = false;
  bool watchNext_ = false;
};

}  // namespace rt
