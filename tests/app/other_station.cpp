// Another copy of the program at another desk: opens AFile as the program does (AFILE in the
// current directory, or the server that directory's Quibbet_demo.INI names) over a connection of
// its own and adds, changes or deletes one record, as a user there would.
//   other_station add <id> <astring> <adecimal> <adate @d17> <atime @t7>
//   other_station change <id> <astring> <adecimal>
//   other_station delete <id>
// Exit code 0 when done; 2 bad arguments, 3 the file did not open, 4 no such record, 5 the
// operation failed.

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/afile_record.h"
#include "app/dictionary.h"
#include "runtime/core/last_error.h"
#include "runtime/core/picture.h"
#include "runtime/data/field_ref.h"
#include "runtime/data/file.h"

namespace {

// The field numbered `field` from `text` as its picture shows it.
bool Set(AFI_Record& record, std::size_t field, std::string_view text) {
  const rt::FieldLayout& layout = *AFileLayout().Field(field);
  const std::optional<std::string> plain = rt::Deformat(text, layout.picture);
  return plain && rt::FieldRef(layout, &record).SetText(*plain);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string_view action = argv[1];
  const rt::Long id = std::atol(argv[2]);
  AFI_Record afi;
  rt::File file(AFileDecl(), afi);
  file.Open();
  if (rt::ErrorCode() == rt::NoFileErr && action == "add") {
    file.Create();
    file.Open();
  }
  if (rt::ErrorCode() != 0) return 3;
  if (action == "add") {
    if (argc != 7) return 2;
    afi.ID = id;
    afi.ASTRING = argv[3];
    if (!Set(afi, 3, argv[4]) || !Set(afi, 4, argv[5]) || !Set(afi, 5, argv[6])) return 2;
    file.Add();
    return rt::ErrorCode() == 0 ? 0 : 5;
  }
  file.Set();
  for (file.Next(); rt::ErrorCode() == 0 && afi.ID != id; file.Next()) {
  }
  if (rt::ErrorCode() != 0) return 4;
  if (action == "change" && argc == 5) {
    afi.ASTRING = argv[3];
    if (!Set(afi, 3, argv[4])) return 2;
    file.Put();
  } else if (action == "delete") {
    file.Delete();
  } else {
    return 2;
  }
  return rt::ErrorCode() == 0 ? 0 : 5;
}
