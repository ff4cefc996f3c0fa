#pragma once
// The demo's AFile record (app/afile_record.h, header-only) under the name the runtime's data
// tests use for it.

#include "app/afile_record.h"

namespace test_afile {
using ::AFI_Record;
using ::AFileLayout;
}  // namespace test_afile
