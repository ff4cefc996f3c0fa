#pragma once
// Order-preserving key encoding: turns key components into bytes whose memcmp order is the
// runtime's own comparison (FieldRef::Compare) of those fields, so a driver can keep keys as
// BLOBs under the BINARY collation. Every component has a fixed width per field shape, so a
// descending component is its bytes inverted and a key is its components side by side.
// Owns the encoding only; drivers call it when they write keys and position in them.

#include <cstddef>
#include <optional>
#include <string_view>
#include <string>
#include <vector>

#include "runtime/data/file_decl.h"
#include "runtime/data/record_layout.h"

namespace rt {

// Bytes one component of this shape takes: 8 for integers, dates, times and reals, 16 for
// decimals, the size for strings (a CString's capacity less its terminator).
std::size_t EncodedWidth(const FieldShape& shape);

// Appends one field's encoding. Strings are blank padded to the field's size (so trailing
// blanks do not count and bytes below a blank sort first); noCase folds ASCII letters to capitals.
void AppendEncoded(const FieldLayout& field, const void* record, bool ascending, bool noCase, std::string& out);

// One order component: a field and how it compares.
struct OrderPart {
  std::size_t field = 0;  // 1-based
  bool ascending = true;
  bool noCase = false;
};
std::vector<OrderPart> OrderOf(const KeyDecl& key);

// The encoding of the first `count` parts (all when count exceeds them) of the record.
std::string EncodeOrder(const std::vector<OrderPart>& parts, const RecordLayout& layout, const void* record,
                        std::size_t count = static_cast<std::size_t>(-1));
// The width of the whole encoding of `parts`.
std::size_t EncodedWidth(const std::vector<OrderPart>& parts, const RecordLayout& layout);

// Keys inside position strings: lower-case hex, and back (nullopt for anything that is not hex).
std::string ToHex(std::string_view bytes);
std::optional<std::string> FromHex(std::string_view hex);

// True when every field of the key is blank or zero: an optional key leaves such records out.
bool KeyIsEmpty(const KeyDecl& key, const RecordLayout& layout, const void* record);

}  // namespace rt
