#pragma once
// What a program declares about a data file: its driver, name on disk, record layout, keys and
// flags; plus the numbers that callers and drivers agree on (file operation codes for the file
// callbacks, property numbers). Owns only descriptions; file.h opens files from them.

#include <string>
#include <vector>

#include "runtime/core/types.h"
#include "runtime/data/record_layout.h"

namespace rt {

// ---- Keys ----

struct KeyComponent {
  std::size_t field = 0;  // 1-based field number in the file's layout
  bool ascending = true;
};

struct KeyDecl {
  std::string name;  // e.g. "AFI:IDKey"; the index is named after it
  std::vector<KeyComponent> components;
  bool unique = false;     // false: duplicates allowed
  bool noCase = false;     // string components compare without regard to ASCII case
  bool optional = false;   // rows whose key fields are all blank or zero are left out
  bool primary = false;    // the key that identifies a record
};

// ---- The file ----

inline constexpr char kKeyedDriver[] = "KEYED";
inline constexpr char kTextLineDriver[] = "ASCII";

struct FileDecl {
  std::string label;   // the file's label, e.g. "AFile"; a keyed file's table is named after it
  std::string driver;  // "KEYED", "ASCII"
  std::string name;    // name on disk; the driver adds its default extension when there is none
  const RecordLayout* layout = nullptr;  // not owned; outlives every file opened from it
  std::vector<KeyDecl> keys;
  std::vector<std::string> memos;  // memo (BLOB) names, numbered 1.. in this order
  bool create = false;     // the file manager may create it when it is missing
  bool perThread = true;   // one instance per program thread (else one shared by all threads)
  std::string driverString;  // sent to the driver at open, e.g. "Recover=10"
};

// ---- Operation codes passed to file callbacks ----
// The file manager tells these apart: keep them as they are.
enum class FileOp : Long {
  Add = 1,
  Close = 7,
  Delete = 11,
  GetByKey = 15,
  GetByPointer = 16,
  Next = 17,
  Previous = 24,
  Put = 30,
  Reget = 31,
  Append = 51,
  RegetByKey = 53,
  Set = 60,
  SetKey = 61,
  SetKeyValue = 62,
  Watch = 63,
  Hold = 64,
  Release = 65,
  ViewNext = 66,
  ViewPrevious = 67,
  Duplicate = 68,
  ClearRecord = 69,
  SetNulls = 70,
  Send = 71,
  Build = 72,
  Logout = 73,
  Commit = 74,
  Rollback = 75,
  SetMemo = 76,
  GetProperty = 77,
  SetProperty = 78,
  Open = 96,
  Create = 97,
  GetState = 98,
  RestoreState = 99,
  FreeState = 100,
  Release_Instance = 104,
};

// ---- Property numbers ----
enum FileProp : Long {
  PropLogout = 29441,       // 1: the file takes part in the next transaction frame
  PropAliasShared = 29454,  // an alias shares its aliased file's instance (0) or has its own (1)
  PropMemoCount = 29457,
  PropFieldCount = 29458,
  PropName = 29462,         // a file's name on disk; with an index, that key's name
  PropDriver = 29463,
  PropViewFileCount = 29477,
  PropViewFile = 29478,     // with an index: the name of the view's i-th file
  PropRecord = 29515,       // the record buffer's bytes; setting "" clears the record
  PropMRP = 29525,          // records read ahead by NEXT and PREVIOUS; 0: the driver's default
  PropPerThread = 31893,
  PropBlobChanged = 31894,
  PropViewFilter = 31928,
  PropMemo = 31935,         // with index -i: the i-th memo's contents
  PropViewOrder = 31974,
  PropRecords = 31975,      // number of records
  PropLabel = 31976,
};

}  // namespace rt
