#pragma once
// Not for use outside runtime/data. The text model of an INI file: finds a key's value in the
// file's text, and makes the text with one key set or deleted while every other byte stays as
// it was. Pure functions over strings; file access, locking and the atomic replace belong to
// ini_store.cpp. Calls nothing.

#include <optional>
#include <string>
#include <string_view>

namespace rt::detail {

// ---- Read ----

// The value of `key` in `section` (both matched without regard to ASCII case, blanks around
// them ignored); the first occurrence wins, also across repeated headers of one section.
// The value is the text after '=' without its leading and trailing blanks.
std::optional<std::string_view> FindIniValue(std::string_view text, std::string_view section,
                                             std::string_view key);

// ---- Write ----

// Why `section`, `key` and `value` cannot be stored as one `key=value` line that reads back the
// same way ("" when they can): an empty name, a line break anywhere, '=' in the key, or a key that
// would read as a header or comment.
std::string_view IniRejection(std::string_view section, std::string_view key,
                              std::optional<std::string_view> value);

// The text with `key` set to `value` (the first occurrence's value replaced in place; otherwise a
// new line after the section's last key; otherwise a new section at the end), or with every
// occurrence of `key` in `section` removed when `value` is nullopt. Lines written take the line end
// of the text's first line, CR LF when it has none. Requires IniRejection(...) to be "".
std::string EditIni(std::string_view text, std::string_view section, std::string_view key,
                    std::optional<std::string_view> value);

}  // namespace rt::detail
