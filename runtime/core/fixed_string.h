#pragma once
// Fixed-size strings as record fields hold them: `FixedString<N>` is N bytes padded with blanks,
// `CString<N>` is zero-terminated with N bytes of capacity (N-1 characters). Both are byte-exact
// (no hidden members), so they can live inside record structs. Assignment cuts text that does
// not fit, never inside a UTF-8 character.

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/core/text.h"

namespace rt {

template <std::size_t N>
class FixedString {
  static_assert(N > 0);

 public:
  FixedString() { Clear(); }
  FixedString(std::string_view text) { Assign(text); }  // NOLINT: converts like a field assignment
  FixedString& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }

  void Assign(std::string_view text) {
    const std::string_view fit = Utf8Prefix(text, N);
    if (!fit.empty()) std::memcpy(bytes_.data(), fit.data(), fit.size());  // an empty view may be null
    std::memset(bytes_.data() + fit.size(), ' ', N - fit.size());
  }
  void Clear() { bytes_.fill(' '); }

  // All N bytes, trailing blanks included.
  std::string_view View() const { return {bytes_.data(), N}; }
  // The text without trailing blanks.
  std::string_view Clipped() const { return Clip(View()); }
  std::string Str() const { return std::string(Clipped()); }
  static constexpr std::size_t Size() { return N; }
  char* Data() { return bytes_.data(); }
  const char* Data() const { return bytes_.data(); }

  friend bool operator==(const FixedString& a, std::string_view b) { return EqualBlankPadded(a.View(), b); }
  friend bool operator==(const FixedString& a, const FixedString& b) { return EqualBlankPadded(a.View(), b.View()); }

 private:
  std::array<char, N> bytes_;
};

template <std::size_t N>
class CString {
  static_assert(N > 0);

 public:
  CString() { bytes_.fill('\0'); }
  CString(std::string_view text) { Assign(text); }  // NOLINT: converts like a field assignment
  CString& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }

  void Assign(std::string_view text) {
    const std::string_view fit = Utf8Prefix(text, N - 1);
    bytes_.fill('\0');
    if (!fit.empty()) std::memcpy(bytes_.data(), fit.data(), fit.size());
  }
  void Clear() { bytes_.fill('\0'); }

  std::string_view View() const { return {bytes_.data(), ::strnlen(bytes_.data(), N)}; }
  std::string_view Clipped() const { return Clip(View()); }
  std::string Str() const { return std::string(View()); }
  static constexpr std::size_t Capacity() { return N; }
  char* Data() { return bytes_.data(); }
  const char* Data() const { return bytes_.data(); }

  friend bool operator==(const CString& a, std::string_view b) { return EqualBlankPadded(a.View(), b); }

 private:
  std::array<char, N> bytes_;
};

}  // namespace rt
