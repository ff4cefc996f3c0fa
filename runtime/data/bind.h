#pragma once
// BIND: the names by which expressions reach fields. Owns a stack of scopes of (name, field
// reference) pairs and the calling program thread's own stack; does not own the fields (record
// buffers and variables outlive their bindings) and does not parse anything (expression.h).
// Calls runtime/core (per-thread instances, assertions) and field_ref.h.
//
// Names match without regard to ASCII case and are kept as written ("AFI:ID"). A lookup searches
// the innermost scope first, so an inner binding hides an outer one of the same name until its
// scope is popped. Window managers push a scope when they open and pop it when they close.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/field_ref.h"
#include "runtime/data/record_layout.h"

namespace rt {

// A stack of binding scopes. Starts with one scope open, which is never popped. Views and tests
// may hold their own; program code uses the thread's (ThreadBinds, below).
class BindScopes {
 public:
  BindScopes();
  BindScopes(const BindScopes&) = delete;
  BindScopes& operator=(const BindScopes&) = delete;

  // ---- Scopes ----
  void Push();
  // Closes the innermost scope and forgets its names. Popping the outermost scope is a
  // programming error: reported as an assertion, and the scope is only emptied.
  void Pop();
  std::size_t Depth() const { return scopes_.size(); }

  // ---- Binding (in the innermost scope) ----
  // Binding a name again in the same scope replaces the field. An empty name or a null field is
  // a programming error: reported, nothing bound.
  void Bind(std::string_view name, const FieldRef& field);
  // Every field of a record buffer laid out by `layout`, under the layout's names.
  void BindRecord(const RecordLayout& layout, void* record);

  // ---- Lookup ----
  // The field bound to `name`, innermost scope first; a null FieldRef when the name is unbound.
  FieldRef Find(std::string_view name) const;

 private:
  struct Entry {
    std::string name;
    FieldRef field;
  };
  std::vector<std::vector<Entry>> scopes_;
};

// ---- The calling program thread's scopes (the runtime's BIND, BINDG, PUSHBIND, POPBIND) ----

// Built on the thread's first use, destroyed when the thread ends.
BindScopes& ThreadBinds();
inline void Bind(std::string_view name, const FieldRef& field) { ThreadBinds().Bind(name, field); }
inline void BindG(const RecordLayout& layout, void* record) { ThreadBinds().BindRecord(layout, record); }
inline void PushBind() { ThreadBinds().Push(); }
inline void PopBind() { ThreadBinds().Pop(); }

}  // namespace rt
