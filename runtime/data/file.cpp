#include "runtime/data/file.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>

#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/core/thread.h"
#include "runtime/data/field_ref.h"
#include "runtime/data/key_encoding.h"
#include "runtime/data/pg_driver.h"

namespace rt {

// ---- Driver registry: a new driver is one more line here, and nothing above it changes ----

std::unique_ptr<Driver> MakeDriver(const DriverSetup& setup) {
  if (!setup.decl) return nullptr;
  std::string name = setup.decl->driver;
  for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (name == kKeyedDriver) return MakeKeyedDriver(setup);
  if (name == kTextLineDriver) return MakeAsciiDriver(setup);
  if (name == kServerDriver) return MakePgDriver(setup);
  return nullptr;
}

namespace {

// The files of one thread that take part in its next frame, and those in the open frame.
struct ThreadFrames {
  std::vector<File*> marked;
  std::vector<File*> framed;
};
PerThread<ThreadFrames> threadFrames{"ThreadFrames"};

void Remove(std::vector<File*>& files, File* file) { files.erase(std::remove(files.begin(), files.end(), file), files.end()); }

// The callbacks as they stand when an operation starts (a callback may remove itself). A file
// has one or two (its manager): they are kept on the stack, so a read through a view does not
// allocate for them on every row.
class CallbackSnapshot {
 public:
  explicit CallbackSnapshot(const std::vector<FileCallback*>& callbacks) : size_(callbacks.size()) {
    if (size_ <= kInline) {
      std::copy(callbacks.begin(), callbacks.end(), inline_);
    } else {
      spill_ = callbacks;
    }
  }
  FileCallback* const* begin() const { return size_ <= kInline ? inline_ : spill_.data(); }
  FileCallback* const* end() const { return begin() + size_; }
  bool empty() const { return size_ == 0; }

 private:
  static constexpr std::size_t kInline = 4;
  std::size_t size_;
  FileCallback* inline_[kInline] = {};
  std::vector<FileCallback*> spill_;
};

Long ToLong(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  long long value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return static_cast<Long>(value);
}

}  // namespace

struct File::State {
  bool open = false;
  Long mode = 0;
  Cursor cursor;
  Current current;
  std::vector<std::byte> record;
  std::vector<Byte> nulls;
  std::vector<std::string> memos;
};

File::File(const FileDecl& decl, std::span<std::byte> record) : decl_(decl), record_(record) {
  RT_ASSERT(decl.layout != nullptr, "File: the declaration has no record layout");
  RT_ASSERT(!decl.layout || decl.layout->RecordSize() == record.size(), "File: the record buffer is not the layout's size");
  driver_ = MakeDriver({&decl_, [this] {
                          const auto renamed = storedProps_.find(PropName);
                          if (renamed != storedProps_.end()) return renamed->second;
                          return decl_.name.empty() ? decl_.label : decl_.name;
                        }});
  RT_ASSERT(driver_ != nullptr, "File: the declaration names a driver that does not exist");
  nulls_.assign(decl.layout ? decl.layout->FieldCount() : 0, 0);
  memos_.assign(decl.memos.size(), {});
}

File::File(const FileDecl& decl, std::span<std::byte> record, std::unique_ptr<Driver> driver) : File(decl, record) {
  if (driver) driver_ = std::move(driver);
}

File::~File() {
  const CallbackSnapshot callbacks(callbacks_);
  FileCall call{FileOp::Release_Instance, false, true, 0};
  std::string code, message;
  for (FileCallback* callback : callbacks) callback->FunctionCalled(call, code, message);
  if (open_ && driver_) driver_->Close();
  if (logout_ || inFrame_) {  // only then is the thread's frame list worth touching (it may be gone)
    ThreadFrames& frames = *threadFrames;
    Remove(frames.marked, this);
    Remove(frames.framed, this);
  }
}

// ---- Plumbing ----

bool File::Report(const DriverStatus& status) {
  if (status.Ok()) {
    ClearError();
    return true;
  }
  if (status.text.empty()) {
    SetError(status.code);
  } else {
    SetError(status.code, status.text);
  }
  if (!status.driverCode.empty() || !status.driverText.empty()) SetFileError(status.driverCode, status.driverText);
  return false;
}

void File::Run(FileCall call, const std::function<DriverStatus()>& work) {
  const CallbackSnapshot callbacks(callbacks_);
  std::string code, message;
  for (FileCallback* callback : callbacks) {
    bool proceed;
    {
      const ErrorsKept kept;
      proceed = callback->FunctionCalled(call, code, message);
    }
    if (!proceed) {
      SetError(ToLong(code), message);
      return;
    }
  }
  Report(work());
  if (callbacks.empty()) return;
  char digits[24];
  code.assign(digits, std::to_chars(digits, digits + sizeof digits, ErrorCode()).ptr);
  message = Error();
  bool accepted = true;
  for (FileCallback* callback : callbacks) {
    const ErrorsKept kept;
    accepted = callback->FunctionDone(call, code, message) && accepted;
  }
  if (!accepted) SetError(ToLong(code), message);
}

DriverStatus File::RequireOpen() const {
  if (!driver_) return DriverStatus::Error(FileSystemErr, "No driver named " + decl_.driver);
  if (!open_) return DriverStatus::Error(NotOpenErr);
  return {};
}

RowImage File::ImageOfBuffer() const {
  RowImage row;
  row.record.assign(record_.begin(), record_.end());
  if (std::any_of(nulls_.begin(), nulls_.end(), [](Byte b) { return b != 0; })) row.nulls = nulls_;
  row.memos = memos_;
  return row;
}

void File::Load(const RowImage& row) {
  std::memcpy(record_.data(), row.record.data(), std::min(record_.size(), row.record.size()));
  nulls_.assign(nulls_.size(), 0);
  for (std::size_t i = 0; i < row.nulls.size() && i < nulls_.size(); ++i) nulls_[i] = row.nulls[i];
  for (std::size_t i = 0; i < memos_.size(); ++i) memos_[i] = i < row.memos.size() ? row.memos[i] : std::string();
  current_ = {row.pointer, row.version, true, watchNext_};
  watchNext_ = false;
}

// A row a read found: held elsewhere (43, unless this read takes the hold and waits its turn),
// held for this instance on request, then loaded into the buffer.
DriverStatus File::TakeRow(RowImage& row) {
  if (holdNext_) {
    holdNext_ = false;
    if (const DriverStatus held = driver_->Hold(row.pointer); !held.Ok()) return held;
    // Read it again under the hold: the row may have changed since it was read.
    if (const DriverStatus fresh = driver_->Get(row.pointer, row); !fresh.Ok()) return fresh;
  } else if (row.heldElsewhere) {
    return DriverStatus::Error(IsHeldErr);
  }
  Load(row);
  return {};
}

std::size_t File::PageSize() const {
  if (mrp_ > 0) return static_cast<std::size_t>(mrp_);
  return quickScan_ ? 64 : 32;
}

void File::ResetCursor(ReadRequest order) {
  cursor_ = Cursor{std::move(order), {}, {}};
  DropPage();
}

DriverStatus File::ReadStep(bool backward, bool viaView) {
  (void)viaView;
  if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
  if (page_.IsEmpty() || page_.IsBackward() != backward || holdNext_ || watchNext_) {
    ReadRequest request = cursor_.order;
    request.from = backward ? cursor_.backward : cursor_.forward;
    request.backward = backward;
    request.limit = holdNext_ || watchNext_ ? 1 : PageSize();
    std::vector<RowImage>& rows = page_.BeginRefill(backward);
    if (DriverStatus read = driver_->Read(request, rows); !read.Ok()) {
      page_.Drop();
      return read;
    }
    if (rows.empty()) return DriverStatus::Error(NoRecErr);
  }
  RowImage& row = page_.Take();
  cursor_.forward = cursor_.backward = OrderBound{false, row.sortKey, row.pointer};
  return TakeRow(row);
}

// ---- Open and close ----

void File::Open(Long mode) {
  Run({FileOp::Open}, [&]() -> DriverStatus {
    if (!driver_) return RequireOpen();
    if (open_) return DriverStatus::Error(IsOpenErr);
    DriverStatus status = driver_->Open(mode);
    if (!status.Ok()) return status;
    if (!decl_.driverString.empty()) driver_->Send(decl_.driverString);
    open_ = true;
    mode_ = mode;
    current_ = {};
    ResetCursor({});
    return status;
  });
}

void File::Create() { CreateFile(true); }

void File::CreateIfMissing() { CreateFile(false); }

void File::CreateFile(bool replace) {
  Run({FileOp::Create}, [&]() -> DriverStatus {
    if (!driver_) return RequireOpen();
    if (open_) return DriverStatus::Error(IsOpenErr);
    return replace ? driver_->Create() : driver_->CreateIfMissing();
  });
}

void File::Close() {
  Run({FileOp::Close}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    if (inFrame_) {
      driver_->Rollback();  // closing inside a frame abandons this file's part of it
      Remove(threadFrames->framed, this);
      inFrame_ = false;
    }
    open_ = false;
    current_ = {};
    DropPage();
    return driver_->Close();
  });
}

void File::Build() {
  Run({FileOp::Build}, [&]() -> DriverStatus {
    if (!driver_) return RequireOpen();
    if (open_) return DriverStatus::Error(IsOpenErr);  // building needs the file to itself
    return driver_->Build();
  });
}

void File::Send(std::string_view command) {
  Run({FileOp::Send}, [&]() -> DriverStatus {
    if (!driver_) return RequireOpen();
    std::string upper(command);
    for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (upper.rfind("QUICKSCAN=", 0) == 0) quickScan_ = upper.substr(10) == "ON";
    return driver_->Send(command);
  });
}

// ---- Write ----

void File::Add() { AddAs(FileOp::Add); }

void File::Append() { AddAs(FileOp::Append); }

void File::AddAs(FileOp op) {
  Run({op}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    RowImage row = ImageOfBuffer();
    DropPage();
    DriverStatus status = driver_->Add(row);
    if (status.Ok()) current_ = {row.pointer, row.version, true, false};
    return status;
  });
}

void File::Put() {
  Run({FileOp::Put}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    if (!current_.valid) return DriverStatus::Error(NoRecErr);
    RowImage row = ImageOfBuffer();
    row.pointer = current_.pointer;
    row.version = current_.version;
    DropPage();
    DriverStatus status = driver_->Put(row, current_.watched);
    if (status.Ok()) current_.version = row.version;
    blobChanged_ = false;
    return status;
  });
}

void File::Delete() {
  Run({FileOp::Delete}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    if (!current_.valid) return DriverStatus::Error(NoRecErr);
    DropPage();
    DriverStatus status = driver_->Delete(current_.pointer);
    if (status.Ok()) current_.valid = false;
    return status;
  });
}

// ---- Read ----

void File::Get(std::size_t key) {
  Run({FileOp::GetByKey}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    RT_ASSERT(KeyValid(key), "File::Get: the file has no key of this number");
    if (!KeyValid(key)) return DriverStatus::Error(NoRecErr);
    const std::string value = EncodeOrder(OrderOf(decl_.keys[key - 1]), Layout(), record_.data());
    RowImage row;
    DriverStatus status = driver_->GetByKey(key, value, row);
    if (!status.Ok()) return status;
    row.heldElsewhere = false;  // a get by key is not stopped by another station's hold
    return TakeRow(row);
  });
}

void File::GetByPointer(std::int64_t pointer) {
  Run({FileOp::GetByPointer}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    RowImage row;
    DriverStatus status = driver_->Get(pointer, row);
    if (!status.Ok()) {
      current_.valid = false;  // the file manager reads pointer 0 to forget the current record
      return status;
    }
    row.heldElsewhere = false;
    return TakeRow(row);
  });
}

std::string File::Position(std::size_t key) const {
  if (!current_.valid) return {};
  const std::string byFile = "F:" + std::to_string(current_.pointer);
  if (key == 0 || !KeyValid(key)) return byFile;
  std::string byKey = "K" + std::to_string(key) + ":" + ToHex(EncodeOrder(OrderOf(decl_.keys[key - 1]), Layout(), record_.data())) +
                      ":" + std::to_string(current_.pointer);
  return byKey.size() <= kMaxPosition ? byKey : byFile;  // callers keep positions in 1024 bytes
}

void File::Reget(std::string_view position) {
  Run({FileOp::Reget}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    std::size_t key = 0;
    std::string_view rest = position;
    if (rest.size() > 2 && rest[0] == 'K') {
      key = static_cast<std::size_t>(ToLong(rest.substr(1)));
      rest = rest.substr(rest.find(':') + 1);
    } else if (rest.rfind("F:", 0) != 0) {
      return DriverStatus::Error(NoRecErr);
    }
    // A position comes from the caller and may be anything: a pointer that is no number is no record.
    const std::size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return DriverStatus::Error(NoRecErr);
    const std::string_view digits = rest.substr(colon + 1);
    std::int64_t pointer = 0;
    const auto [end, parsed] = std::from_chars(digits.data(), digits.data() + digits.size(), pointer);
    if (parsed != std::errc() || end != digits.data() + digits.size()) return DriverStatus::Error(NoRecErr);
    if (key != 0 && !KeyValid(key)) return DriverStatus::Error(NoRecErr);
    RowImage row;
    DriverStatus status = driver_->Get(pointer, row);
    if (!status.Ok()) return status;
    ReadRequest order;
    order.key = key;
    ResetCursor(order);
    const std::string sortKey = key ? EncodeOrder(OrderOf(decl_.keys[key - 1]), Layout(), row.record.data()) : "";
    cursor_.forward = cursor_.backward = OrderBound{false, sortKey, row.pointer};
    row.heldElsewhere = false;
    return TakeRow(row);
  });
}

void File::Set() {
  Run({FileOp::Set}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    ResetCursor({});
    return {};
  });
}

void File::SetPointer(std::int64_t pointer) {
  Run({FileOp::Set}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    ResetCursor({});
    cursor_.forward = {false, {}, pointer == INT64_MIN ? pointer : pointer - 1};
    cursor_.backward = {false, {}, pointer == INT64_MAX ? pointer : pointer + 1};
    return {};
  });
}

void File::SetKey(std::size_t key) {
  Run({FileOp::SetKey}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    RT_ASSERT(KeyValid(key), "File::SetKey: the file has no key of this number");
    ReadRequest order;
    order.key = KeyValid(key) ? key : 0;
    ResetCursor(order);
    return {};
  });
}

void File::SetKeyValue(std::size_t key, std::size_t components) {
  Run({FileOp::SetKeyValue}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    RT_ASSERT(KeyValid(key), "File::SetKeyValue: the file has no key of this number");
    if (!KeyValid(key)) return DriverStatus::Error(NoRecErr);
    ReadRequest order;
    order.key = key;
    ResetCursor(order);
    const std::vector<OrderPart> parts = OrderOf(decl_.keys[key - 1]);
    std::string value = EncodeOrder(parts, Layout(), record_.data(), components);
    cursor_.forward = {false, value, INT64_MIN};
    value.resize(EncodedWidth(parts, Layout()), '\xFF');  // past every key that starts with the value
    cursor_.backward = {false, value, INT64_MAX};
    return {};
  });
}

void File::Next() {
  Run({FileOp::Next}, [&] { return ReadStep(false, false); });
}

void File::Previous() {
  Run({FileOp::Previous}, [&] { return ReadStep(true, false); });
}

// ---- Watch and hold ----

void File::Watch() {
  Run({FileOp::Watch}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    if (!driver_->KeepsVersions()) return DriverStatus::Error(NoLogoutErr);
    watchNext_ = true;
    return {};
  });
}

void File::Hold() {
  Run({FileOp::Hold}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    holdNext_ = true;
    return {};
  });
}

void File::Release() {
  Run({FileOp::Release}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    holdNext_ = false;
    return driver_->ReleaseHolds();
  });
}

// ---- Records and keys ----

bool File::Duplicate(std::size_t key) {
  bool found = false;
  Run({FileOp::Duplicate}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    RT_ASSERT(KeyValid(key), "File::Duplicate: the file has no key of this number");
    if (!KeyValid(key)) return {};
    const KeyDecl& decl = decl_.keys[key - 1];
    if (decl.optional && KeyIsEmpty(decl, Layout(), record_.data())) return {};
    const std::string value = EncodeOrder(OrderOf(decl), Layout(), record_.data());
    return driver_->HasDuplicate(key, value, current_.valid ? current_.pointer : 0, found);
  });
  return found;
}

void File::ClearRecord(int end) {
  Run({FileOp::ClearRecord}, [&]() -> DriverStatus {
    for (const FieldLayout& field : Layout().Fields()) FieldRef(field, record_.data()).Clear(end);
    nulls_.assign(nulls_.size(), 0);
    for (std::string& memo : memos_) memo.clear();
    return {};
  });
}

void File::ClearKey(std::size_t key, std::size_t low, std::size_t high, bool highEnd) {
  RT_ASSERT(KeyValid(key), "File::ClearKey: the file has no key of this number");
  if (!KeyValid(key)) return;
  const KeyDecl& decl = decl_.keys[key - 1];
  for (std::size_t i = std::max<std::size_t>(low, 1); i <= high && i <= decl.components.size(); ++i) {
    const KeyComponent& component = decl.components[i - 1];
    if (const FieldLayout* field = Layout().Field(component.field))
      FieldRef(*field, record_.data()).Clear(highEnd == component.ascending ? 1 : -1);
  }
}

std::int64_t File::Records() {
  std::int64_t count = 0;
  Run({FileOp::GetProperty, false, false, PropRecords}, [&]() -> DriverStatus {
    if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
    return driver_->Records(count);
  });
  return count;
}

// ---- Null flags and memos ----

bool File::IsNull(std::size_t field) const { return field >= 1 && field <= nulls_.size() && nulls_[field - 1] != 0; }

void File::SetNull(std::size_t field, bool null) {
  if (field >= 1 && field <= nulls_.size()) nulls_[field - 1] = null ? 1 : 0;
}

std::string File::Nulls() const {
  std::string flags;
  for (const Byte b : nulls_) flags.push_back(b ? '1' : '0');
  return flags;
}

void File::SetNulls(std::string_view flags) {
  for (std::size_t i = 0; i < nulls_.size(); ++i) nulls_[i] = i < flags.size() && flags[i] == '1' ? 1 : 0;
}

std::string File::Memo(std::size_t number) const {
  return number >= 1 && number <= memos_.size() ? memos_[number - 1] : std::string();
}

void File::SetMemo(std::size_t number, std::string_view text) {
  Run({FileOp::SetMemo}, [&]() -> DriverStatus {
    if (number < 1 || number > memos_.size()) return DriverStatus::Error(57);
    memos_[number - 1] = std::string(text);
    blobChanged_ = true;
    return {};
  });
}

// ---- Properties ----

std::string File::FullName() const { return driver_ ? driver_->FullName() : std::string(); }

std::string File::Property(Long number, Long index) {
  std::string value;
  Run({FileOp::GetProperty, false, false, number}, [&]() -> DriverStatus {
    switch (number) {
      case PropName:
        if (index >= 1) {
          if (!KeyValid(static_cast<std::size_t>(index))) return DriverStatus::Error(80);
          value = decl_.keys[static_cast<std::size_t>(index) - 1].name;
        } else {
          const auto renamed = storedProps_.find(PropName);
          value = renamed != storedProps_.end() ? renamed->second : (decl_.name.empty() ? decl_.label : decl_.name);
          if (driver_) value = driver_->ShownName(value);
        }
        return {};
      case PropLabel: value = decl_.label; return {};
      case PropDriver: value = decl_.driver; return {};
      case PropFieldCount: value = std::to_string(Layout().FieldCount()); return {};
      case PropMemoCount: value = std::to_string(decl_.memos.size()); return {};
      case PropRecord: value.assign(reinterpret_cast<const char*>(record_.data()), record_.size()); return {};
      case PropMRP: value = std::to_string(mrp_); return {};
      case PropPerThread: value = decl_.perThread ? "1" : "0"; return {};
      case PropBlobChanged: value = blobChanged_ ? "1" : "0"; return {};
      case PropLogout: value = logout_ ? "1" : "0"; return {};
      case PropMemo: value = Memo(static_cast<std::size_t>(index < 0 ? -index : index)); return {};
      case PropRecords: {
        if (DriverStatus open = RequireOpen(); !open.Ok()) return open;
        std::int64_t count = 0;
        DriverStatus status = driver_->Records(count);
        value = std::to_string(count);
        return status;
      }
      default: {
        const auto stored = storedProps_.find(number);
        if (stored != storedProps_.end()) value = stored->second;
        return {};
      }
    }
  });
  return value;
}

void File::SetProperty(Long number, std::string_view value, Long index) {
  Run({FileOp::SetProperty, false, false, number}, [&]() -> DriverStatus {
    switch (number) {
      case PropName:
        if (open_) return DriverStatus::Error(IsOpenErr);
        storedProps_[PropName] = std::string(value);
        return {};
      case PropRecord:
        if (value.empty()) {
          for (const FieldLayout& field : Layout().Fields()) FieldRef(field, record_.data()).Clear();
        } else {
          std::memcpy(record_.data(), value.data(), std::min(value.size(), record_.size()));
        }
        return {};
      case PropMRP: mrp_ = std::max<Long>(0, ToLong(value)); DropPage(); return {};
      case PropBlobChanged: blobChanged_ = ToLong(value) != 0; return {};
      case PropMemo: {
        const std::size_t memo = static_cast<std::size_t>(index < 0 ? -index : index);
        if (memo < 1 || memo > memos_.size()) return DriverStatus::Error(57);
        memos_[memo - 1] = std::string(value);
        blobChanged_ = true;
        return {};
      }
      case PropLogout: {
        const bool on = ToLong(value) != 0;
        if (on && (!driver_ || !driver_->CanFrame())) return DriverStatus::Error(NoLogoutErr);
        ThreadFrames& frames = *threadFrames;
        Remove(frames.marked, this);
        if (on) frames.marked.push_back(this);
        logout_ = on;
        return {};
      }
      case PropFieldCount:
      case PropMemoCount:
      case PropDriver:
      case PropPerThread:
      case PropRecords:
      case PropLabel: return DriverStatus::Error(80);  // read only
      default: storedProps_[number] = std::string(value); return {};
    }
  });
}

// ---- States ----

Long File::GetState() {
  Long handle = 0;
  Run({FileOp::GetState}, [&]() -> DriverStatus {
    auto state = std::make_unique<State>();
    state->open = open_;
    state->mode = mode_;
    state->cursor = cursor_;
    state->current = current_;
    state->record.assign(record_.begin(), record_.end());
    state->nulls = nulls_;
    state->memos = memos_;
    handle = nextState_++;
    states_[handle] = std::move(state);
    return {};
  });
  return handle;
}

void File::RestoreState(Long handle) {
  Run({FileOp::RestoreState}, [&]() -> DriverStatus {
    const auto found = states_.find(handle);
    if (found == states_.end()) return DriverStatus::Error(NoRecErr);
    const State& state = *found->second;
    if (open_ && !state.open) {
      Close();
      if (ErrorCode() != 0) return DriverStatus::Error(ErrorCode(), Error());
    } else if (!open_ && state.open) {
      Open(state.mode);
      if (ErrorCode() != 0) return DriverStatus::Error(ErrorCode(), Error());
    }
    cursor_ = state.cursor;
    current_ = state.current;
    DropPage();
    std::memcpy(record_.data(), state.record.data(), std::min(record_.size(), state.record.size()));
    nulls_ = state.nulls;
    memos_ = state.memos;
    return {};
  });
}

void File::FreeState(Long handle) {
  Run({FileOp::FreeState}, [&]() -> DriverStatus {
    return states_.erase(handle) ? DriverStatus{} : DriverStatus::Error(NoRecErr);
  });
}

// ---- Callbacks ----

void File::AddCallback(FileCallback* callback) {
  if (callback && std::find(callbacks_.begin(), callbacks_.end(), callback) == callbacks_.end())
    callbacks_.push_back(callback);
}

void File::RemoveCallback(FileCallback* callback) {
  callbacks_.erase(std::remove(callbacks_.begin(), callbacks_.end(), callback), callbacks_.end());
}

// ---- Transaction frames ----

void Logout(Long timeoutSeconds, std::span<File* const> files) {
  ThreadFrames& frames = *threadFrames;
  if (!frames.framed.empty()) {
    SetError(56, "Logout Already Active");
    return;
  }
  std::vector<File*> all(files.begin(), files.end());
  for (File* file : frames.marked)
    if (std::find(all.begin(), all.end(), file) == all.end()) all.push_back(file);
  for (File* file : all) {
    if (!file->open_) return (void)SetError(NotOpenErr);
    if (!file->driver_->CanFrame()) return (void)SetError(NoLogoutErr);
  }
  for (File* file : all) {
    const DriverStatus status = file->driver_->BeginFrame(timeoutSeconds);
    if (!status.Ok()) {
      for (File* begun : frames.framed) {
        begun->driver_->Rollback();
        begun->inFrame_ = false;
      }
      frames.framed.clear();
      file->Report(status);
      return;
    }
    file->DropPage();
    file->inFrame_ = true;
    frames.framed.push_back(file);
  }
  ClearError();
}

namespace {
template <class End>
void EndFrame(End&& end) {
  ThreadFrames& frames = *threadFrames;
  if (frames.framed.empty()) return (void)SetError(NoLogoutErr, "No Logout Active");
  DriverStatus first;
  for (File* file : frames.framed) {
    const DriverStatus status = end(*file);
    if (first.Ok() && !status.Ok()) first = status;
  }
  std::vector<File*> framed;
  framed.swap(frames.framed);
  for (File* file : framed) file->SetProperty(PropLogout, "0");
  if (first.Ok()) {
    ClearError();
  } else {
    SetError(first.code, first.text.empty() ? ErrorText(first.code) : first.text);
    SetFileError(first.driverCode, first.driverText);
  }
}
}  // namespace

// Each file commits on its own (a WAL database commits alone), in the order they joined the
// frame. After a failed commit the files still to come roll back, so a failure is whole when it
// comes first; after it, the files already committed keep their part and the error says so.
void Commit() {
  std::string committed;
  bool failed = false;
  EndFrame([&](File& file) {
    file.inFrame_ = false;
    if (failed) {
      file.DropPage();
      file.driver_->Rollback();
      return DriverStatus{};
    }
    DriverStatus status = file.driver_->Commit();
    if (status.Ok()) {
      committed += (committed.empty() ? "" : ", ") + file.driver_->FullName();
      return status;
    }
    file.driver_->Rollback();  // a commit that fails must not leave the frame open
    failed = true;
    return status;
  });
  if (failed && !committed.empty()) {
    const std::string driverCode = FileErrorCode(), driverText = FileError();
    SetError(ErrorCode(), "Transaction Partly Committed: " + committed + " kept the changes, the rest did not (" + Error() + ")");
    SetFileError(driverCode, driverText);
  }
}

void Rollback() {
  EndFrame([](File& file) {
    file.inFrame_ = false;
    file.DropPage();
    return file.driver_->Rollback();
  });
}

}  // namespace rt
