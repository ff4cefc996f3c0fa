#pragma once
// INIClass: the framework's store of user settings — window placements, named values, queues of
// values and the index of structured sections ("sectors") — in an INI file or under a registry
// key. Owns its lock and the in-memory index; does not own the windows or queues handed to it.
// Calls the runtime's INI/registry store (runtime/data), field references and window properties
// (runtime/ui); misuse goes to the runtime's assertion report.
//
// Created by its user (the program keeps one, INIMgr); Init loads the index, Kill saves and
// frees it, the destructor calls Kill. Every operation holds the object's re-entrant lock.
// Subclasses may override the virtual Fetch/Update/Remove; an override hides the other
// overloads of its name, so a subclass adds `using INIClass::Fetch;` (and Update) to keep them.

#include <memory>
#include <string>
#include <string_view>

#include "framework/util/critical_section.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"
#include "runtime/data/queue.h"
#include "runtime/ui/property_holder.h"

// ---- Records the class exchanges with its callers ----

// One entry of the sector index (and of the lists GetSectors fills).
struct SectorRecord {
  rt::CString<100> Family;
  rt::CString<100> Item;
  rt::CString<100> Type;
};
using SectorQueue = rt::QueueOf<SectorRecord>;

// A window's stored placement. kNoValue marks a coordinate without a value.
inline constexpr rt::Long kNoValue = static_cast<rt::Long>(0x80000000u);
struct WindowInfo {
  rt::Long X = kNoValue, Y = kNoValue, W = kNoValue, H = kNoValue;
  rt::Byte Maximized = 0, Minimized = 0, Got = 0;
};

// Where settings live (the NVType of Init).
enum NVTypes : rt::Long { NV_INIFile = 0, NV_Registry = 1, NV_Table = 2 };

// Escaping of a sector's item: every "$" becomes "$$$"; RemoveDollar undoes it ("$" not followed
// by two more stays). Results are cut to 1024 bytes.
std::string AddDollar(std::string_view text);
std::string RemoveDollar(std::string_view text);

class INIClass {
 public:
  INIClass() = default;
  virtual ~INIClass();
  INIClass(const INIClass&) = delete;
  INIClass& operator=(const INIClass&) = delete;

  // ---- Life cycle ----
  // fileName: the INI file, or for the registry the key path prefix (may be empty); cut to 259.
  // extraData: the registry root; 0 stands for the classes root (80000000h).
  // A live object is killed first, so its index is saved before the new one is loaded.
  void Init(std::string_view fileName, rt::Long nvType = NV_INIFile, rt::Long extraData = 0);
  void Kill();

  // ---- The store (virtual: a subclass may keep settings elsewhere) ----
  // The value, at most 1023 bytes; `defaultValue` when missing.
  virtual std::string Fetch(std::string_view sector, std::string_view name, std::string_view defaultValue,
                            std::string_view fileName);
  virtual void Update(std::string_view sector, std::string_view name, std::string_view value,
                      std::string_view fileName);
  virtual void Fetch() {}   // a subclass loads its own settings here (Init calls it)
  virtual void Remove(std::string_view sector, std::string_view name);
  virtual void Update() {}  // a subclass saves its own settings here (the program calls it)

  // ---- Values ----
  // At most 999 bytes; a missing key reports "INI Assert: Could not find ..." and gives "---Unknown---".
  std::string Fetch(std::string_view sector, std::string_view name);
  std::string TryFetch(std::string_view sector, std::string_view name);  // "" when missing, silently
  // value := the stored text converted to value's type; a missing key leaves value unchanged.
  void Fetch(std::string_view sector, std::string_view name, rt::FieldRef value);
  void Update(std::string_view sector, std::string_view name, std::string_view value);
  // The fieldNumber-th (from 1) comma-separated part of the asserting Fetch; too few commas
  // is an assertion without text and gives "".
  std::string FetchField(std::string_view sector, std::string_view name, rt::Byte fieldNumber);

  // ---- Queues: key `name` holds the count, name_1..name_n up to four fields joined by "," ----
  // Appends the stored records (the queue is not emptied first); null fields are skipped.
  void FetchQueue(std::string_view sector, std::string_view name, rt::Queue& queue, rt::FieldRef field1,
                  rt::FieldRef field2 = {}, rt::FieldRef field3 = {}, rt::FieldRef field4 = {});
  // Writes every record in queue order; keys beyond the new count are left as they were.
  void UpdateQueue(std::string_view sector, std::string_view name, rt::Queue& queue, rt::FieldRef field1,
                   rt::FieldRef field2 = {}, rt::FieldRef field3 = {}, rt::FieldRef field4 = {});

  // ---- Structured sections: Family$escaped item$$Type ----
  std::string GetSector(std::string_view family, std::string_view item, std::string_view type);
  // The inverse of GetSector; the item stays escaped. An empty part is an assertion without text.
  // Returns false when the name cannot be split.
  bool GetFamily(std::string_view sector, rt::CString<100>& family, rt::CString<100>& item,
                 rt::CString<100>& type);
  // Adds the sector to the index unless it is there; the index stays sorted.
  void AddSector(std::string_view sector);
  // Empties `out`, then copies in index order every entry matching the given values (an empty
  // value matches all; `item` is compared unescaped). Copies carry the unescaped item.
  void GetSectors(std::string_view family, std::string_view item, std::string_view type, SectorQueue& out);

  // ---- Window placement (keys Maximize, Minimize, XPos, YPos, Width, Height) ----
  void Update(std::string_view sector, rt::PropertyHolder& window);
  void Fetch(std::string_view sector, rt::PropertyHolder& window);
  void UpdateWindowInfo(std::string_view sector, const WindowInfo& info);
  void FetchWindowInfo(std::string_view sector, WindowInfo& info);

  // ---- Query ----
  std::string FileName() const { return fileName_.Str(); }
  rt::Long NVType() const { return nvType_; }
  bool HasIndex() const { return sectors_ != nullptr; }

 private:
  std::string KeyPath(std::string_view sector) const;
  rt::Long RegistryRoot() const;
  void SortIndex();

  rt::CString<260> fileName_;
  std::unique_ptr<SectorQueue> sectors_;  // the index; null before Init and after Kill
  rt::Long nvType_ = NV_INIFile;
  rt::Long extraData_ = 0;
  CriticalSection critSect_;
};
