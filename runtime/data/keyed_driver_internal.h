#pragma once
// Internal to the KEYED driver (keyed_driver*.cpp) and its tests: not for use elsewhere (the
// POSTGRES driver, its sibling, takes its column names and layout descriptors from here).
//
// A KEYED file is one SQLite database (WAL journal, synchronous NORMAL: a commit is whole or
// absent after a crash of the process) named after the file, with ".db" added when the name has
// no extension. Beside it, "<file>-lock" carries the share locks of the openers (share_lock.h).
// Tables:
//
//   "<label>"  one row per record; rowid is the record pointer. One column per field, named after
//              the field without its prefix ("AFI:ID" -> ID; should two fields then clash, the
//              whole name with ':' as '_'), in declaration order, with natural types:
//                Long, Short, UShort, Byte  INTEGER
//                Real                       REAL
//                Decimal                    TEXT, exact, with the field's places ("12.50")
//                String                     TEXT without trailing blanks
//                CString                    TEXT as written (up to its zero; may end in blanks)
//                Date                       TEXT "YYYY-MM-DD"; NULL for no date (0)
//                Time                       TEXT "HH:MM:SS.cc"; NULL for no time (0)
//              A field whose null flag is set keeps its record value here; _nulls flags it.
//              then one TEXT column per memo, named after it, and
//                _version  INTEGER  1 when added, +1 on every put: "changed by another station"
//                _nulls    TEXT     NULL, or one '0'/'1' per field when any field is null
//                _key_<key name without prefix>  BLOB  the key's order-preserving encoding
//                          (key_encoding.h), compared with BINARY; NULL for a record an
//                          optional key leaves out. Each has an index "<label>$<key name>",
//                          UNIQUE when the key is.
//   "_holds"   record INTEGER PRIMARY KEY, pid, owner, since: where readers look for holds. The
//              hold itself is the holder's lock on the record's byte in "<file>-lock"
//              (share_lock.h); a row without that lock is stale and cleared by whoever meets it.
//              pid is for people reading the file, never for judging a hold.
//   "_layout"  item TEXT PRIMARY KEY, value TEXT: "format" (1), "fields" (name:type:size:digits:
//              places;…) and "keys" (name|flags|field±,…;…). A different "fields" is error 47;
//              different "keys" error 46 until Build makes the keys again.

#include <cstddef>
#include <string>

#include "runtime/data/file_decl.h"

struct sqlite3_stmt;
struct sqlite3_value;

namespace rt::keyed {

inline constexpr char kExtension[] = ".db";
inline constexpr int kFormat = 1;

std::string ColumnName(const RecordLayout& layout, std::size_t field);  // unquoted
std::string KeyColumnName(const KeyDecl& key);                             // unquoted
std::string FieldsDescriptor(const RecordLayout& layout);
std::string KeysDescriptor(const FileDecl& decl);
std::string Quote(std::string_view identifier);  // "…" with inner quotes doubled

// Field `field` of `record` as parameter `index`, in its column's type (keyed_values.cpp).
void BindField(sqlite3_stmt* statement, int index, const FieldLayout& field, const std::byte* record);
// A column's value into field `field` of `record`; NULL gives the field's cleared value.
void ReadField(sqlite3_value* value, const FieldLayout& field, std::byte* record);

}  // namespace rt::keyed
