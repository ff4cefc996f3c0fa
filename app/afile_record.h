#pragma once
// The demo's AFile record: the 36-byte struct the dictionary's file reads and writes, its
// static_asserts and its layout table (bound names and the pictures on screen). Header-only, on
// runtime/core and runtime/data alone, so that the runtime's own tests use the very same record.

#include <cstddef>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"
#include "runtime/data/record_layout.h"

struct AFI_Record {
  rt::Long ID = 0;
  rt::FixedString<20> ASTRING;
  rt::PackedDecimal<7, 2> ADECIMAL;
  rt::Long ADATE = 0;  // standard date
  rt::Long ATIME = 0;  // standard time
};
static_assert(sizeof(AFI_Record) == 36);
static_assert(offsetof(AFI_Record, ID) == 0);
static_assert(offsetof(AFI_Record, ASTRING) == 4);
static_assert(offsetof(AFI_Record, ADECIMAL) == 24);
static_assert(offsetof(AFI_Record, ADATE) == 28);
static_assert(offsetof(AFI_Record, ATIME) == 32);

inline const rt::RecordLayout& AFileLayout() {
  static const rt::RecordLayout layout(sizeof(AFI_Record), {
      rt::LayoutField("AFI:ID", &AFI_Record::ID, "@n-14"),
      rt::LayoutField("AFI:ASTRING", &AFI_Record::ASTRING, "@s20"),
      rt::LayoutField("AFI:ADECIMAL", &AFI_Record::ADECIMAL, "@n-10.2"),
      rt::LayoutDate("AFI:ADATE", &AFI_Record::ADATE, "@d17"),
      rt::LayoutTime("AFI:ATIME", &AFI_Record::ATIME, "@t7"),
  });
  return layout;
}
