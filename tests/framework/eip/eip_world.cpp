#include "tests/framework/eip/eip_world.h"

#include <thread>

#include "runtime/core/last_error.h"
#include "runtime/core/thread.h"
#include "runtime/data/file.h"

namespace browsetest {

std::map<rt::Long, std::string> ItemsInFile(const std::string& directory) {
  std::map<rt::Long, std::string> items;
  std::thread([&] {
    rt::ThreadScope scope;
    ITM_Record record;
    rt::File file(ItemDecl(directory, true), record);
    file.Open();
    file.Set();
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) items[record.ID] = record.NAME.Str();
    file.Close();
  }).join();
  return items;
}

void RenameElsewhere(const std::string& directory, rt::Long id, const std::string& name) {
  std::thread([&] {
    rt::ThreadScope scope;
    ITM_Record record;
    rt::File file(ItemDecl(directory, true), record);
    file.Open();
    record.GRP = id / 1000;
    record.ID = id;
    file.Get(1);
    record.NAME = name;
    file.Put();
    file.Close();
  }).join();
}

std::string Trim(std::string text) {
  text.erase(0, text.find_first_not_of(' '));
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace browsetest
