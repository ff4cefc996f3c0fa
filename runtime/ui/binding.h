#pragma once
// Bindings: how an entry reads and writes the program variable it shows. Owns the conversion
// between a variable's value and plain text (the form pictures format and deformat); it does
// not own the variable, which the program keeps alive while the window is open. Calls
// runtime/core's pictures and value types.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"

namespace rt {

class Binding {
 public:
  virtual ~Binding() = default;
  // The value as plain text: numbers in decimal, dates and times as their standard numbers.
  virtual std::string Text() const = 0;
  // The value shown through `picture` (an empty picture shows Text()).
  virtual std::string Format(std::string_view picture) const = 0;
  // Stores plain text (what Deformat gives). False, with the variable unchanged, when the text
  // is no value of the variable's type or does not fit it.
  virtual bool SetFromText(std::string_view plain) = 0;
  // Zero or blank: what a required entry may not be left as.
  virtual bool IsEmpty() const = 0;
  // The most bytes of text the variable stores (UTF-8, as the field keeps it); 0: no limit.
  virtual std::size_t MaxBytes() const { return 0; }
};

using BindingPtr = std::shared_ptr<Binding>;

// ---- Making bindings (the variable must outlive every window that shows it) ----
BindingPtr Bind(Long& variable);   // also dates and times (standard date / time numbers)
BindingPtr Bind(Short& variable);
BindingPtr Bind(Byte& variable);
BindingPtr Bind(Real& variable);
BindingPtr Bind(Decimal& variable);  // a declared Decimal keeps its digits and places
BindingPtr Bind(std::string& variable);
BindingPtr BindText(char* bytes, std::size_t size, bool zeroTerminated);

template <std::size_t N>
BindingPtr Bind(FixedString<N>& variable) {
  return BindText(variable.Data(), N, false);
}
template <std::size_t N>
BindingPtr Bind(CString<N>& variable) {
  return BindText(variable.Data(), N, true);
}
template <int Digits, int Places>
BindingPtr Bind(PackedDecimal<Digits, Places>& variable);

namespace detail {
BindingPtr BindPacked(void* object, int digits, int places,
                      bool (*store)(void*, const Decimal&), std::optional<Decimal> (*load)(const void*));
}

template <int Digits, int Places>
BindingPtr Bind(PackedDecimal<Digits, Places>& variable) {
  using P = PackedDecimal<Digits, Places>;
  return detail::BindPacked(
      &variable, Digits, Places, [](void* o, const Decimal& d) { return static_cast<P*>(o)->Store(d); },
      [](const void* o) { return static_cast<const P*>(o)->Load(); });
}

}  // namespace rt
