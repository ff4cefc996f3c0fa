#include "runtime/data/bind.h"

#include <algorithm>

#include "runtime/core/assert.h"
#include "runtime/core/thread.h"

namespace rt {

namespace {

bool SameName(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// Built before and destroyed after the thread's files and views, which bind into it.
PerThread<BindScopes> tBinds{"BindScopes"};

}  // namespace

BindScopes::BindScopes() : scopes_(1) {}

void BindScopes::Push() { scopes_.emplace_back(); }

void BindScopes::Pop() {
  RT_ASSERT(scopes_.size() > 1, "PopBind without a matching PushBind");
  if (scopes_.size() > 1) {
    scopes_.pop_back();
  } else {
    scopes_.back().clear();
  }
}

void BindScopes::Bind(std::string_view name, const FieldRef& field) {
  RT_ASSERT(!name.empty(), "Bind: a name is needed");
  RT_ASSERT(!field.IsNull(), "Bind: the field reference is null");
  if (name.empty() || field.IsNull()) return;
  std::vector<Entry>& scope = scopes_.back();
  for (Entry& entry : scope) {
    if (SameName(entry.name, name)) {
      entry.name = std::string(name);
      entry.field = field;
      return;
    }
  }
  scope.push_back({std::string(name), field});
}

void BindScopes::BindRecord(const RecordLayout& layout, void* record) {
  RT_ASSERT(record != nullptr, "BindG: the record buffer is null");
  if (record == nullptr) return;
  for (const FieldLayout& field : layout.Fields()) Bind(field.name, FieldRef(field, record));
}

FieldRef BindScopes::Find(std::string_view name) const {
  for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
    for (const Entry& entry : *scope) {
      if (SameName(entry.name, name)) return entry.field;
    }
  }
  return {};
}

BindScopes& ThreadBinds() { return *tBinds; }

}  // namespace rt
