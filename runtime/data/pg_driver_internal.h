#pragma once
// Internal to the POSTGRES driver (pg_*.cpp) and its tests: not for use elsewhere.
//
// A POSTGRES file is one table in the database that the file's name (a libpq connection string)
// reaches, in the connection's current schema, named after the file's label in lower case
// ("AFile" -> afile), so that `psql -c 'select id, astring from afile'` reads it. Columns, in order:
//
//   one per field, named as in a KEYED file but in lower case ("AFI:ID" -> id):
//     Long, UShort integer; Short, Byte smallint; Real double precision;
//     Decimal numeric(digits, places) (exact); String text COLLATE "C" without trailing
//     blanks (a String holding a zero byte is refused: text cannot hold one); CString text
//     COLLATE "C" as written (up to its zero; may end in blanks); Date date (the standard date n is 1800-12-28 + n; NULL for 0);
//     Time time(2) (NULL for 0). A null-flagged field keeps its record value; _nulls flags it.
//   one text column per memo, then
//     _record   bigint identity, the record pointer
//     _version  bigint, 1 when added, +1 on every put: "changed by another station" (89)
//     _nulls    text, NULL or one '0'/'1' per field
//     _key_<key> bytea, the key's order-preserving encoding (key_encoding.h), which bytea
//               compares as memcmp does; NULL where an optional key leaves the record out.
//               Index "<table>$<key>": UNIQUE on the key column for a unique key, else on
//               (key column, _record), so that keyset reads walk the index.
//   The table's comment holds "quibbet 1|<fields descriptor>|<keys descriptor>" (the KEYED
//   descriptors): other fields are 47, other keys 46 until Build, no comment 36.
//
// Locks are session advisory locks, so they vanish with the connection (also when a program is
// killed and the server sees its socket close). With h the table's 32-bit hash:
//   record holds   the int8 lock (h << 32) XOR _record (43 for others): records of one table
//                  never share a key, whatever their pointers
//   share modes    the two-int lock (h, n), a key space apart from the holds: n = 0 gate,
//                  1 readers, 2 writers, 3 read deniers, 4 write deniers (the same facts as
//                  share_lock.h keeps in a side file)
// The hash is FNV-1a of "<schema>.<table>", so it is known before the table exists. Two tables
// meet only when their hashes are equal (one chance in 2^32), or, past 2^32 records, when the
// pointers' high halves differ as the hashes do.

#include <cstdint>
#include <string>

#include "runtime/data/file_decl.h"
#include "runtime/data/key_encoding.h"
#include "runtime/data/pg_connection.h"

namespace rt::pg {

inline constexpr int kFormat = 1;
inline constexpr char kDateBase[] = "DATE '1800-12-28'";

std::string Lower(std::string_view text);
std::string TableName(const FileDecl& decl);
std::string ColumnName(const RecordLayout& layout, std::size_t field);  // unquoted
std::string KeyColumnName(const KeyDecl& key);                            // unquoted
std::string IndexName(const FileDecl& decl, const KeyDecl& key);          // unquoted
std::uint32_t TableHash(std::string_view schemaAndTable);

// ---- Values (pg_values.cpp) ----
// The column's type as the server's format_type() writes it.
std::string ColumnType(const FieldShape& shape);
// How parameter $index becomes the column's value in an INSERT or UPDATE.
std::string ValueSql(const FieldShape& shape, int index);
// How the column is selected so that ReadField can take it ("t." qualified).
std::string SelectSql(const FieldShape& shape, const std::string& column);
void BindField(Params& params, const FieldLayout& field, const std::byte* record);
// A selected value into the field; NULL gives the field's cleared value.
void ReadField(const Result& result, int row, int column, const FieldLayout& field, std::byte* record);
// An SQL expression whose bytea is EncodeOrder of the part: orders no key serves.
std::string OrderSql(const OrderPart& part, const FieldShape& shape, const std::string& column);

}  // namespace rt::pg
