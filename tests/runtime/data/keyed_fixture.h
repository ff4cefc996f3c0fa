#pragma once
// The demo's AFile as a KEYED file in a fresh directory, with three keys: a unique primary key
// on ID, a case-insensitive key with duplicates on ASTRING then descending ID, and an optional
// key on ADATE. Tests of the keyed driver and of views share it.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "runtime/core/last_error.h"
#include "runtime/data/file.h"
#include "tests/runtime/data/afile_record.h"
#include "tests/support/files.h"

namespace test_afile {

// A declaration of a test's own file.
inline rt::FileDecl Declare(const char* label, const char* driver, const std::string& name, const rt::RecordLayout& layout,
                            std::vector<rt::KeyDecl> keys = {}) {
  rt::FileDecl decl;
  decl.label = label;
  decl.driver = driver;
  decl.name = name;
  decl.layout = &layout;
  decl.keys = std::move(keys);
  return decl;
}

inline rt::FileDecl KeyedAFile(const std::string& name) {
  return Declare("AFile", "KEYED", name, AFileLayout(),
                 {{"AFI:IDKey", {{1, true}}, true, false, false, true},
                  {"AFI:StrKey", {{2, true}, {1, false}}, false, true, false, false},
                  {"AFI:DateKey", {{4, true}}, false, false, true, false}});
}

enum Keys : std::size_t { IDKey = 1, StrKey = 2, DateKey = 3 };

inline void Fill(AFI_Record& r, rt::Long id, const char* text, const char* decimal = "0", rt::Long date = 0) {
  r = AFI_Record{};
  r.ID = id;
  r.ASTRING = text;
  (void)r.ADECIMAL.Store(rt::Decimal::FromText(decimal));
  r.ADATE = date;
}

}  // namespace test_afile
