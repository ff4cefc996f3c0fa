#pragma once
// Access modes of file opens, shared by every driver: the low nibble says what this opener does,
// the high nibble what it lets others do. Owns only the values.

#include "runtime/core/types.h"

namespace rt {

enum AccessMode : Long {
  ReadOnly = 0x0,
  WriteOnly = 0x1,
  ReadWrite = 0x2,
  DenyAll = 0x10,
  DenyWrite = 0x20,
  DenyRead = 0x30,
  DenyNone = 0x40,
};

inline bool ModeReads(Long mode) { return (mode & 0x0F) != WriteOnly; }
inline bool ModeWrites(Long mode) { return (mode & 0x0F) == WriteOnly || (mode & 0x0F) == ReadWrite; }
// A share nibble of 0 (the old "compatibility" mode) keeps others out, like DenyAll.
inline bool ModeDeniesRead(Long mode) { const Long s = mode & 0xF0; return s == DenyAll || s == DenyRead || s == 0; }
inline bool ModeDeniesWrite(Long mode) { const Long s = mode & 0xF0; return s == DenyAll || s == DenyWrite || s == 0; }

}  // namespace rt
