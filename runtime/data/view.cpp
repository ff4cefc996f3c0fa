#include "runtime/data/view.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <utility>

#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/data/expression_filter.h"
#include "runtime/data/key_encoding.h"

namespace rt {

namespace {

constexpr Long kBadOrderErr = 800;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

// "V:<sort key in hex>:<pointer>"
bool ParsePosition(std::string_view position, std::string& sortKey, std::int64_t& pointer) {
  if (position.rfind("V:", 0) != 0) return false;
  position.remove_prefix(2);
  const std::size_t colon = position.find(':');
  if (colon == std::string_view::npos) return false;
  const std::optional<std::string> key = FromHex(position.substr(0, colon));
  if (!key) return false;
  const std::string number(position.substr(colon + 1));
  char* end = nullptr;
  pointer = std::strtoll(number.c_str(), &end, 10);
  if (number.empty() || *end != '\0') return false;
  sortKey = *key;
  return true;
}

}  // namespace

View::View(File& primary, FilterParser parser)
    : primary_(primary),
      parser_(parser ? std::move(parser) : ExpressionFilterParser()),
      page_(std::exchange(primary.spareViewRows_, {})) {}

View::~View() { primary_.spareViewRows_ = page_.Release(); }

void View::Join(File& file, std::size_t key, std::vector<std::size_t> primaryFields) {
  RT_ASSERT(key >= 1 && key <= file.Decl().keys.size(), "View::Join: the joined file has no key of this number");
  joins_.push_back({&file, key, std::move(primaryFields)});
}

DriverStatus View::RequireOpen() const {
  if (!open_ || !primary_.IsOpen()) return DriverStatus::Error(NotOpenErr);
  return {};
}

// ---- Open and close ----

void View::Open(Long /*mode*/) {
  if (open_) return SetError(IsOpenErr);
  if (!primary_.IsOpen()) return SetError(NotOpenErr);
  open_ = true;
  Set();
}

void View::Close() {
  if (!open_) return SetError(NotOpenErr);
  open_ = false;
  Flush();
  hasLast_ = false;
  ClearError();
}

// ---- Properties ----

std::string View::Property(Long number, Long index) const {
  switch (number) {
    case PropViewOrder: return orderText_;
    case PropViewFilter: return filter_ ? filter_->Text() : std::string();
    case PropViewFileCount: return std::to_string(joins_.size() + 1);
    case PropViewFile: {
      const File* file = FileAt(static_cast<std::size_t>(index));
      return file ? file->Decl().label : std::string();
    }
    default: return {};
  }
}

File* View::FileAt(std::size_t number) const {
  if (number == 1) return &primary_;
  if (number >= 2 && number - 2 < joins_.size()) return joins_[number - 2].file;
  return nullptr;
}

bool View::ParseOrder(std::string_view text, ReadRequest& order, std::string& error) const {
  order = ReadRequest{};
  std::vector<OrderPart> parts;
  const RecordLayout& layout = primary_.Layout();
  while (!Trim(text).empty()) {
    const std::size_t comma = text.find(',');
    std::string_view item = Trim(text.substr(0, comma));
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    OrderPart part;
    if (!item.empty() && (item.front() == '-' || item.front() == '+')) {
      part.ascending = item.front() == '+';
      item = Trim(item.substr(1));
    }
    if (StartsWithNoCase(item, "UPPER(") && item.back() == ')') {
      part.noCase = true;
      item = Trim(item.substr(6, item.size() - 7));
    }
    part.field = layout.FieldNumber(item);
    if (part.field == 0) {
      error = "Unknown field in order: " + std::string(item);
      return false;
    }
    parts.push_back(part);
  }
  order.parts = parts;
  // A key whose leading components are this order serves it through its index.
  const std::vector<KeyDecl>& keys = primary_.Decl().keys;
  for (std::size_t k = 0; k < keys.size() && !parts.empty(); ++k) {
    const KeyDecl& key = keys[k];
    if (key.optional || parts.size() > key.components.size()) continue;
    bool serves = true;
    for (std::size_t i = 0; i < parts.size() && serves; ++i) {
      const bool text = layout.Field(parts[i].field)->shape.IsText();
      serves = parts[i].field == key.components[i].field && parts[i].ascending == key.components[i].ascending &&
               (!text || parts[i].noCase == key.noCase);
    }
    if (serves) {
      order.key = k + 1;
      order.parts.clear();
      break;
    }
  }
  return true;
}

void View::SetProperty(Long number, std::string_view value) {
  if (number == PropViewOrder) {
    ReadRequest order;
    std::string error;
    if (!ParseOrder(value, order, error)) return SetError(kBadOrderErr, error);
    order_ = order;
    parts_.clear();
    if (order.key)
      for (const KeyComponent& c : primary_.Decl().keys[order.key - 1].components) parts_.push_back({c.field, c.ascending, primary_.Decl().keys[order.key - 1].noCase});
    else
      parts_ = order.parts;
    orderText_ = std::string(value);
    if (open_) Set();
    return ClearError();
  }
  if (number == PropViewFilter) {
    if (Trim(value).empty()) {
      filter_.reset();
    } else {
      ParsedFilter parsed = parser_(value);
      if (!parsed.filter) return SetError(parsed.code ? parsed.code : kBadOrderErr, parsed.message);
      filter_ = std::move(parsed.filter);
    }
    PushFilterDown();
    Flush();
    return ClearError();
  }
  SetError(NoLogoutErr);
}

void View::SetBuffering(const ViewBuffering& buffering) {
  buffering_ = buffering;
  buffering_.pageSize = std::max<std::size_t>(1, buffering_.pageSize);
  Flush();
}

void View::PushFilterDown() {
  pushed_.reset();
  if (!filter_ || !primary_.driver_) return;
  const std::byte* start = primary_.Record().data();
  const std::size_t size = primary_.Record().size();
  Driver* driver = primary_.driver_.get();
  const RecordLayout& layout = primary_.Layout();
  pushed_ = filter_->PushDown([=, &layout](const FieldRef& field) -> std::optional<StoredColumn> {
    const std::byte* at = field.Address();
    if (at < start || at >= start + size) return std::nullopt;
    for (std::size_t i = 1; i <= layout.FieldCount(); ++i) {
      const FieldLayout* f = layout.Field(i);
      if (start + f->offset == at && f->shape == field.Shape()) return driver->ColumnOf(i);
    }
    return std::nullopt;
  });
}

// ---- Limits and position ----

std::string View::Encode(std::size_t components, bool pastEnd) const {
  std::string value = EncodeOrder(parts_, primary_.Layout(), primary_.Record().data(), components);
  if (pastEnd) value.resize(EncodedWidth(parts_, primary_.Layout()), '\xFF');
  return value;
}

void View::SetLimits(std::size_t components) {
  if (components == 0 || parts_.empty()) {
    order_.low.clear();
    order_.high.clear();
  } else {
    order_.low = Encode(components, false);
    order_.high = Encode(components, true);
  }
  if (open_) Set();
  ClearError();
}

void View::Set() {
  if (DriverStatus status = RequireOpen(); !status.Ok()) return SetError(status.code);
  forward_ = backward_ = OrderBound{};
  boundsAtLast_ = false;
  hasLast_ = false;
  Flush();
  ClearError();
}

void View::SetFromBuffer(std::size_t components) {
  if (DriverStatus status = RequireOpen(); !status.Ok()) return SetError(status.code);
  if (components == 0 || parts_.empty()) return Set();
  forward_ = {false, Encode(components, false), INT64_MIN};
  backward_ = {false, Encode(components, true), INT64_MAX};
  boundsAtLast_ = false;
  hasLast_ = false;
  Flush();
  ClearError();
}

void View::Reset(std::string_view position) {
  if (DriverStatus status = RequireOpen(); !status.Ok()) return SetError(status.code);
  std::string key;
  std::int64_t pointer = 0;
  if (!ParsePosition(position, key, pointer)) return SetError(NoRecErr);
  if (DriverStatus status = SortKeyOf(key, pointer, key, nullptr); !status.Ok()) return SetError(status.code);
  forward_ = {false, key, pointer == INT64_MIN ? pointer : pointer - 1};
  backward_ = {false, key, pointer == INT64_MAX ? pointer : pointer + 1};
  boundsAtLast_ = false;
  Flush();
  ClearError();
}

std::string View::Position() const {
  std::string out;
  Position(out);
  return out;
}

void View::Position(std::string& out) const {
  out.clear();
  if (!hasLast_) return;
  // A browse asks for the position of every row it shows.
  static constexpr char kDigits[] = "0123456789abcdef";
  char pointer[24];
  const auto [end, ec] = std::to_chars(pointer, pointer + sizeof pointer, last_.pointer);
  (void)ec;  // 24 characters hold every int64
  const std::size_t pointerSize = static_cast<std::size_t>(end - pointer);
  // Callers keep positions in File::kMaxPosition bytes: a wider one would be cut and lead elsewhere.
  const bool keyFits = 3 + last_.sortKey.size() * 2 + pointerSize <= File::kMaxPosition;
  const std::size_t keySize = keyFits ? last_.sortKey.size() : 0;
  out.resize(3 + keySize * 2 + pointerSize, ':');
  out[0] = 'V';
  char* at = out.data() + 2;
  for (const char c : std::string_view(last_.sortKey).substr(0, keySize)) {
    *at++ = kDigits[static_cast<unsigned char>(c) >> 4];
    *at++ = kDigits[static_cast<unsigned char>(c) & 15];
  }
  std::memcpy(at + 1, pointer, pointerSize);
}

void View::Flush() { page_.Drop(); }

// ---- Read ----

void View::LoadJoins() {
  for (const Join_& join : joins_) {
    File& file = *join.file;
    const KeyDecl& key = file.Decl().keys[join.key - 1];
    for (std::size_t i = 0; i < key.components.size() && i < join.fields.size(); ++i) {
      const FieldLayout* to = file.Layout().Field(key.components[i].field);
      const FieldLayout* from = primary_.Layout().Field(join.fields[i]);
      if (to && from) FieldRef(*to, file.Record().data()).Assign(FieldRef(*from, primary_.Record().data()));
    }
    RowImage row;
    const std::string value = EncodeOrder(OrderOf(key), file.Layout(), file.Record().data());
    if (file.IsOpen() && file.driver_->GetByKey(join.key, value, row).Ok()) {
      file.Load(row);
    } else {
      for (const FieldLayout& field : file.Layout().Fields()) FieldRef(field, file.Record().data()).Clear();
    }
  }
}

// The buffers a row's load overwrites, kept while a row held elsewhere is tested against the
// filter: a held row the view returns is reported (43) and leaves the buffers as they were.
struct View::SavedBuffers {
  struct One {
    File* file;
    std::vector<std::byte> record;
    std::vector<Byte> nulls;
    std::vector<std::string> memos;
    File::Current current;
    bool watchNext;
  };
  std::vector<One> files;

  void Save(File& file) {
    files.push_back({&file, {file.record_.begin(), file.record_.end()}, file.nulls_, file.memos_, file.current_, file.watchNext_});
  }
  void Restore() const {
    for (const One& one : files) {
      std::copy(one.record.begin(), one.record.end(), one.file->record_.begin());
      one.file->nulls_ = one.nulls;
      one.file->memos_ = one.memos;
      one.file->current_ = one.current;
      one.file->watchNext_ = one.watchNext;
    }
  }
};

DriverStatus View::LoadRow(RowImage& row) {
  if (watchNext_) {  // a watched row is read afresh so its version is the current one
    watchNext_ = false;
    if (DriverStatus fresh = primary_.driver_->Get(row.pointer, row); !fresh.Ok()) return fresh;
    primary_.watchNext_ = true;
  }
  primary_.Load(row);
  LoadJoins();
  return {};
}

DriverStatus View::Step(bool backward) {
  if (!open_ || !primary_.IsOpen()) return RequireOpen();  // asked once a row: no status built when open
  for (;;) {
    const bool stale = page_.IsOlderThan(std::chrono::seconds(buffering_.timeOutSeconds));
    if (page_.IsEmpty() || page_.IsBackward() != backward || stale || watchNext_) {
      ReadRequest request = order_;
      request.from = boundsAtLast_ ? OrderBound{false, last_.sortKey, last_.pointer} : backward ? backward_ : forward_;
      request.backward = backward;
      request.limit = watchNext_ ? 1 : buffering_.pageSize * (1 + buffering_.pagesAhead);
      request.where = pushed_ ? &*pushed_ : nullptr;
      std::vector<RowImage>& rows = page_.BeginRefill(backward);
      if (DriverStatus read = primary_.driver_->Read(request, rows); !read.Ok()) {
        page_.Drop();
        return read;
      }
      if (rows.empty()) return DriverStatus::Error(NoRecErr);
    }
    RowImage& row = page_.Take();
    // Both bounds are now this row: kept once, in last_ (assigned in place, keeping its storage).
    last_.sortKey = row.sortKey;
    last_.pointer = row.pointer;
    boundsAtLast_ = true;
    hasLast_ = true;
    // A row held elsewhere counts only when the filter keeps it: the filter decides first.
    const bool held = row.heldElsewhere && !watchNext_;
    if (held && !filter_) return DriverStatus::Error(IsHeldErr);
    SavedBuffers saved;
    if (held) {
      saved.Save(primary_);
      for (const Join_& join : joins_) saved.Save(*join.file);
    }
    if (DriverStatus loaded = LoadRow(row); !loaded.Ok()) return loaded;
    // An exact pushed-down filter has chosen the row already: the evaluator would only agree.
    if (filter_ && !(pushed_ && pushed_->exact) && !filter_->Matches()) continue;
    if (!held) return {};
    saved.Restore();
    return DriverStatus::Error(IsHeldErr);
  }
}

void View::Next() {
  primary_.Run({FileOp::ViewNext, true}, [&] { return Step(false); });
}

void View::Previous() {
  primary_.Run({FileOp::ViewPrevious, true}, [&] { return Step(true); });
}

void View::Watch() {
  if (DriverStatus status = RequireOpen(); !status.Ok()) return SetError(status.code);
  if (!primary_.driver_->KeepsVersions()) return SetError(NoLogoutErr);
  watchNext_ = true;
  ClearError();
}

DriverStatus View::SortKeyOf(const std::string& given, std::int64_t pointer, std::string& key, RowImage* row) {
  key = given;
  if (!given.empty() || parts_.empty()) {
    if (!row) return {};
    return primary_.driver_->Get(pointer, *row);
  }
  RowImage read;
  RowImage& into = row ? *row : read;
  if (DriverStatus status = primary_.driver_->Get(pointer, into); !status.Ok()) return status;
  key = EncodeOrder(parts_, primary_.Layout(), into.record.data());
  return {};
}

void View::Reget(std::string_view position) {
  primary_.Run({FileOp::Reget, true}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    std::string key;
    std::int64_t pointer = 0;
    if (!ParsePosition(position, key, pointer)) return DriverStatus::Error(NoRecErr);
    RowImage row;
    if (DriverStatus read = SortKeyOf(key, pointer, key, &row); !read.Ok()) return read;
    row.heldElsewhere = false;
    last_.sortKey = key;
    last_.pointer = pointer;
    boundsAtLast_ = true;
    hasLast_ = true;
    Flush();
    return LoadRow(row);
  });
}

}  // namespace rt
