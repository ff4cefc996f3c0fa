#include "app/globals.h"

#include "msglog/globals.h"

// Defined in one file, so that they are built in this order and destroyed in reverse.
FuzzyClass FuzzyMatcher;
ErrorClass GlobalErrors;
INIClass INIMgr;

rt::Long LCURRENTFDSETTING = 0;
rt::Long LADJFDSETTING = 0;

rt::PerThread<ErrorStatusClass> GlobalErrorStatus{"GlobalErrorStatus"};
rt::PerThread<rt::Byte> GlobalRequest{"GlobalRequest", [] { return std::make_unique<rt::Byte>(0); }};
rt::PerThread<rt::Byte> GlobalResponse{"GlobalResponse", [] { return std::make_unique<rt::Byte>(0); }};
rt::PerThread<rt::Long> VCRRequest{"VCRRequest", [] { return std::make_unique<rt::Long>(0); }};

rt::ThreadOrder ProgramThreadOrder() {
  return {
      {"ThreadTarget", "ThreadUi", "BindScopes", "ThreadFrames", "KESTROMSGLOG__", "GlobalErrorStatus",
       "GlobalRequest", "GlobalResponse", "VCRRequest"},
      {"GlobalErrorStatus", "KESTROMSGLOG__", "GlobalRequest", "GlobalResponse", "VCRRequest", "ThreadFrames",
       "BindScopes", "ThreadUi", "ThreadTarget"},
  };
}

void ProcessAttach() {
  GLO_USERNAME.Set("");
  rt::DeclareThreadOrder(ProgramThreadOrder());
}
