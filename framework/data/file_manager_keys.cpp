// FileManager's record buffers (saved copies with their memos and null flags), validation, the
// key helpers that views and browses build sort orders from, and the filter-text helpers.

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/data/file_manager.h"

#include "framework/data/filter_text.h"
#include "runtime/core/assert.h"
#include "runtime/core/text.h"
#include "runtime/data/bind.h"

namespace {

std::size_t MemoCount(const rt::File& file) { return file.Decl().memos.size(); }


}  // namespace

// ---- Saved buffers ----

rt::UShort FileManager::SaveBuffer() {
  const rt::Long handle = Buffers.empty() ? 1 : Buffers.back().Id + 1;
  Buffers.push_back({handle, std::string(reinterpret_cast<const char*>(Buffer.data()), Buffer.size())});
  const std::size_t memos = File ? MemoCount(*File) : 0;
  for (std::size_t i = 1; i <= memos; ++i) Buffers.push_back({handle + static_cast<rt::Long>(i), File->Memo(i)});
  Buffers.push_back({handle + static_cast<rt::Long>(memos) + 1, File ? File->Nulls() : std::string()});
  return static_cast<rt::UShort>(handle);
}

void FileManager::RestoreBuffer(rt::UShort& handle, rt::Byte doRestore) { RestoreBuffer(handle, *this, doRestore); }

void FileManager::RestoreBuffer(rt::UShort& handle, FileManager& from, rt::Byte doRestore) {
  if (handle == 0 && !doRestore) return;
  // Takes the copy with this id out of from's list; false when it is not there.
  const auto take = [&](rt::Long id, std::string& into) {
    const auto found = std::find_if(from.Buffers.begin(), from.Buffers.end(), [&](const SavedBuffer& b) { return b.Id == id; });
    if (found == from.Buffers.end()) return false;
    into = std::move(found->Buffer);
    from.Buffers.erase(found);
    return true;
  };
  std::string copy;
  if (!take(handle, copy)) {
    rt::AssertReport("Restore handle is invalid", __FILE__, __LINE__);
  } else if (doRestore) {
    std::memcpy(Buffer.data(), copy.data(), std::min(copy.size(), Buffer.size()));
  }
  const std::size_t memos = from.File ? MemoCount(*from.File) : 0;
  for (std::size_t i = 1; i <= memos; ++i) {
    if (!take(handle + static_cast<rt::Long>(i), copy)) {
      rt::AssertReport("Restore handle is invalid (memo does not appear to have been stored)", __FILE__, __LINE__);
    } else if (doRestore && File) {
      File->SetMemo(i, copy);
    }
  }
  if (!take(handle + static_cast<rt::Long>(memos) + 1, copy)) {
    rt::AssertReport("Restore handle is invalid (nullity information not appear to have been stored)", __FILE__, __LINE__);
  } else if (doRestore && File) {
    File->SetNulls(copy);
  }
  handle = 0;
}

rt::Byte FileManager::EqualBuffer(rt::UShort handle) {
  if (UseFile(UseType::Uses) != Level::Ok || BlobChanged) return 0;
  const auto copyOf = [&](rt::Long id) -> const std::string* {
    const auto found = std::find_if(Buffers.begin(), Buffers.end(), [&](const SavedBuffer& b) { return b.Id == id; });
    return found == Buffers.end() ? nullptr : &found->Buffer;
  };
  const std::string* record = copyOf(handle);
  if (!record || rt::CompareBlankPadded(*record, std::string_view(reinterpret_cast<const char*>(Buffer.data()), Buffer.size())) != 0)
    return 0;
  for (std::size_t i = 1; i <= MemoCount(*File); ++i) {
    const std::string* memo = copyOf(handle + static_cast<rt::Long>(i));
    if (!memo || rt::CompareBlankPadded(*memo, File->Memo(i)) != 0) return 0;
  }
  return 1;
}

// ---- Validation ----

rt::Byte FileManager::ValidateRecord(rt::Long* failField) {
  if (AliasedFile) return DelegateValidation(1, 0, failField, 1, true);
  const rt::Long count = File ? static_cast<rt::Long>(File->Layout().FieldCount()) : 0;
  return ValidateFields(1, count, failField);
}

rt::Byte FileManager::ValidateFields(rt::Long low, rt::Long high, rt::Long* failField) {
  if (AliasedFile) return DelegateValidation(low, high, failField, 1, false);
  for (rt::Long i = low; i <= high; ++i) {
    const rt::Byte result = ValidateField(i);
    if (result != Level::Ok) {
      if (failField) *failField = i;
      return result;
    }
  }
  return Level::Ok;
}

rt::Byte FileManager::ValidateField(rt::Long id) { return ValidateFieldServer(id, 1); }
rt::Byte FileManager::TryValidateField(rt::Long id) { return ValidateFieldServer(id, 0); }

rt::Byte FileManager::ValidateFieldServer(rt::Long id, rt::Byte handleErrors) {
  if (AliasedFile) return DelegateValidation(id, id, nullptr, handleErrors, false);
  return Level::Ok;
}

// An alias validates in the aliased file, with its own record put there for the time.
rt::Byte FileManager::DelegateValidation(rt::Long low, rt::Long high, rt::Long* failField, rt::Byte handleErrors,
                                         bool record) {
  FileManager& aliased = *AliasedFile;
  if (aliased.AliasedFile) {
    rt::AssertReport("Cannot have alias based upon an alias", __FILE__, __LINE__);
    return Level::Ok;
  }
  if (const rt::Byte used = aliased.UseFile(UseType::Uses); used != Level::Ok) return used;
  rt::UShort theirs = aliased.SaveBuffer();
  rt::UShort mine = SaveBuffer();
  aliased.RestoreBuffer(mine, *this, 1);
  rt::Byte result;
  if (record) {
    result = aliased.ValidateRecord(failField);
  } else if (low == high && !failField) {
    result = aliased.ValidateFieldServer(low, handleErrors);
  } else {
    result = aliased.ValidateFields(low, high, failField);
  }
  aliased.RestoreBuffer(theirs, 1);
  return result;
}

// ---- Keys ----

void FileManager::AddKey(std::size_t key, std::string_view description, bool autoInc) {
  RT_ASSERT(File && key >= 1 && key <= File->Decl().keys.size(), "AddKey: the file has no key of this number");
  if (!File || key < 1 || key > File->Decl().keys.size()) return;
  const rt::KeyDecl& decl = File->Decl().keys[key - 1];
  KeyEntry entry;
  entry.Key = key;
  entry.Description = std::string(description.substr(0, 80));
  entry.AutoInc = autoInc ? 1 : 0;
  entry.Dups = decl.unique ? 0 : 1;
  entry.NoCase = decl.noCase ? 1 : 0;
  for (const rt::KeyComponent& component : decl.components) {
    const rt::FieldLayout* field = File->Layout().Field(component.field);
    if (!field) continue;
    entry.Fields.push_back({rt::FieldRef(*field, Buffer.data()), field->name, static_cast<rt::Byte>(component.ascending ? 1 : 0)});
  }
  if (autoInc) HasAutoInc = 1;
  Keys.push_back(std::move(entry));
}

KeyEntry* FileManager::FindKey(std::size_t key) {
  const auto found = std::find_if(Keys.begin(), Keys.end(), [&](const KeyEntry& k) { return k.Key == key; });
  if (found == Keys.end()) {
    rt::AssertReport("Key does not exist in this file", __FILE__, __LINE__);
    return nullptr;
  }
  return &*found;
}

std::string FileManager::KeyName(const KeyEntry& key) {
  const std::string description = std::string(rt::Clip(key.Description));
  return description.empty() ? File->Property(rt::PropName, static_cast<rt::Long>(key.Key)) : description;
}

void FileManager::SetKey(std::size_t key) {
  if (FindKey(key)) currentKey_ = key;
}

std::size_t FileManager::GetComponents(std::size_t key) {
  const KeyEntry* entry = FindKey(key);
  return entry ? entry->Fields.size() : 0;
}

namespace {
const KeyFieldEntry* Component(const KeyEntry* entry, std::size_t n) {
  if (!entry) return nullptr;
  if (n < 1 || n > entry->Fields.size()) {
    rt::AssertReport("Key does not have component of this number : " + std::to_string(n), __FILE__, __LINE__);
    return nullptr;
  }
  return &entry->Fields[n - 1];
}
}  // namespace

rt::FieldRef FileManager::GetField(std::size_t key, std::size_t n) {
  const KeyFieldEntry* component = Component(FindKey(key), n);
  return component ? component->Field : rt::FieldRef();
}

std::string FileManager::GetFieldName(std::size_t key, std::size_t n) {
  const KeyFieldEntry* component = Component(FindKey(key), n);
  return component ? component->FieldName : std::string();
}

rt::Byte FileManager::GetFieldAscending(std::size_t key, std::size_t n) {
  const KeyFieldEntry* component = Component(FindKey(key), n);
  return component ? component->Ascend : 0;
}

std::string FileManager::KeyToOrder(std::size_t key, std::size_t start) {
  if (key == 0) return {};
  const KeyEntry* entry = FindKey(key);
  if (!entry) return {};
  std::string order;
  for (std::size_t n = std::max<std::size_t>(start, 1); n <= entry->Fields.size(); ++n) {
    if (!order.empty()) order += ",";
    const KeyFieldEntry& field = entry->Fields[n - 1];
    if (!field.Ascend) order += "-";
    // A key without case orders its text fields upper-cased: the view then reads in the key's
    // own order (and can use its index) instead of case-sensitively.
    if (entry->NoCase && field.Field.Shape().IsText())
      order += "UPPER(" + field.FieldName + ")";
    else
      order += field.FieldName;
  }
  return order.substr(0, 512);
}

void FileManager::ClearKey(std::size_t key, std::size_t lowComp, std::size_t highComp, rt::Byte high) {
  if (FindKey(key)) File->ClearKey(key, lowComp, highComp, high != 0);
}

std::string ConcatGetComponents(const KeyFieldQueue& fields, std::size_t howMany) {
  std::string into;
  for (std::size_t i = 0; i < howMany && i < fields.size(); ++i) into += fields[i].Field.Text() + "|";
  return into;
}

void FileManager::BindFields() {
  // View filters name the record's fields ("AFI:ID"): bind them in the thread's current scope.
  if (File && !Buffer.empty()) rt::BindG(File->Layout(), Buffer.data());
}

// ---- Filter-text helpers ----

std::string DupString(std::string_view text) {
  std::string copy = std::string(rt::Clip(text));
  return copy.empty() ? std::string(" ") : copy;
}

std::string CasedValue(std::string_view fieldExpression, const rt::FieldRef& value) {
  if (value.Shape().IsNumber()) return value.Text();
  const std::string text = value.Text().substr(0, 2000);
  std::string quoted = "'";
  for (const char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += "'";
  if (fieldExpression.find("UPPER(") != std::string_view::npos) return "UPPER(" + quoted + ")";
  if (fieldExpression.find("LOWER(") != std::string_view::npos) return "LOWER(" + quoted + ")";
  return quoted;
}
