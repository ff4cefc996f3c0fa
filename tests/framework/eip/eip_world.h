#pragma once
// What the edit-in-place tests share beside the browse tests' world: the first control number
// the manager makes, reading and changing the item file as another station (a thread and file
// instance of their own), and the trimmed text of a cell.

#include <map>
#include <string>

#include "runtime/core/types.h"
#include "tests/framework/browse/browse_world.h"

namespace browsetest {

// Controls made while the window is open come after the declared ones.
inline constexpr rt::Long kFirstMadeControl = kLocate + 1;

// Every item of the keyed file in `directory`: id -> name.
std::map<rt::Long, std::string> ItemsInFile(const std::string& directory);
// Another station renames item `id`.
void RenameElsewhere(const std::string& directory, rt::Long id, const std::string& name);
std::string Trim(std::string text);

}  // namespace browsetest
