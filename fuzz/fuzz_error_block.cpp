// Fuzzes the error manager's readers of outside input: an ErrorBlock of any bytes added to the
// table, and templates of any text filled by SubsString and Replace. Nothing may read outside
// its input, hang, or break the 1999-character cut of a filled text.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "framework/error/error_class.h"
#include "runtime/core/assert.h"

namespace {

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForFuzzing"};

ErrorClass& Errors() {
  static ErrorClass errors;  // one manager for the whole run, as the program has
  static const bool initialised = (errors.Init(gStatus), true);
  (void)initialised;
  return errors;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ErrorClass& errors = Errors();
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  switch (data[0] % 3) {
    case 0: {  // a block of any bytes
      errors.AddErrors(ErrorBlock(data + 1, size - 1));
      errors.Kill();  // entries point into this input: drop them before it goes
      errors.Init();
      break;
    }
    case 1: {  // a template with the names set from the input
      const std::string text(input.substr(1));
      errors.SetFile(text.substr(0, text.size() / 2));
      errors.SetMessageText(text);
      errors.AddError(60000, text, "fuzz", 5, "");
      errors.StoreErrorEntry(60000);
      if (errors.SubsString().size() > 1999) std::abort();
      errors.RemoveError(60000);
      break;
    }
    default: {  // Replace with a placeholder and value cut from the input
      const std::size_t split = size > 2 ? 1 + data[1] % (size - 1) : 1;
      const std::string placeholder(input.substr(1, split > 1 ? split - 1 : 1));
      const std::string value(input.substr(split));
      std::string text = value + placeholder + value;
      Replace(placeholder, value, text, 300);
      if (text.size() > 299) std::abort();
      break;
    }
  }
  rt::testing::ClearAssertionMessages();
  return 0;
}
