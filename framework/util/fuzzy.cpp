#include "framework/util/fuzzy.h"

void FuzzyClass::Init() {
  NoCase = 0;
  WordOnly = 0;
}

void FuzzyClass::SetOption(rt::Long option, rt::Long value) {
  // A Byte flag: any non-zero value is "on" (256 must not wrap to off).
  const rt::Byte flag = value != 0 ? 1 : 0;
  if (option == 1) NoCase = flag;
  if (option == 2) WordOnly = flag;
}
