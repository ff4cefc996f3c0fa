#pragma once
// The runtime's INI store (GETINI/PUTINI): named values in sections of classic INI text files.
// Owns the file format's reading and its safe rewriting; it does not cache, so every call sees
// the file as it is now. Calls runtime/core (last error) and runtime/platform (path conventions).
//
// Format: "[Section]" and "key=value" lines; names match without regard to ASCII case and blanks
// around names and '=' are ignored; ';' and '#' start comment lines; CR LF or LF line ends and a
// UTF-8 byte order mark are read. The first occurrence of a name wins. A write changes one line
// and keeps every other byte; new lines take the file's line end (CR LF for a new file).

#include <optional>
#include <string>
#include <string_view>

#include "runtime/core/types.h"

namespace rt {

// ---- Read ----

// Classic INI text files. Sections and keys match without regard to case. A missing file or key
// reads as `defaultValue`. Takes no lock and leaves the last error as it was.
std::string GetIni(std::string_view section, std::string_view key, std::string_view defaultValue,
                   std::string_view fileName);

// ---- Write ----

// Writes key=value in section (creating file and section as needed); std::nullopt as value deletes
// the key (every occurrence; the section's header stays). A new key goes after the section's last
// key, a new section at the end of the file. The file is replaced whole and atomically, under a
// lock on "<file>.lock" that our writers in every thread and process take. Sets the last error:
// cleared on success; 3/5/90 when the file cannot be read or written (it is then left as it was);
// 90 with file error "22" for a name or value that cannot be stored (empty name, a line break,
// '=' in a key, a key starting with '[', ';' or '#').
void PutIni(std::string_view section, std::string_view key, std::optional<std::string_view> value,
            std::string_view fileName);

}  // namespace rt
