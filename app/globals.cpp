#include "app/globals.h"

#include "app/dictionary.h"
#include "msglog/globals.h"

// Defined in one file, so that they are built in this order and destroyed in reverse.
FuzzyClass FuzzyMatcher;
HistoryErrorClass GlobalErrors;
INIClass INIMgr;

rt::Long LCURRENTFDSETTING = 0;
rt::Long LADJFDSETTING = 0;

rt::PerThread<ErrorStatusClass> GlobalErrorStatus{"GlobalErrorStatus"};
rt::PerThread<rt::Byte> GlobalRequest{"GlobalRequest"};  // value-initialised: 0
rt::PerThread<rt::Byte> GlobalResponse{"GlobalResponse"};
rt::PerThread<rt::Long> VCRRequest{"VCRRequest"};
rt::PerThread<Dictionary> ThreadDictionary{"Dictionary"};

Dictionary::Dictionary() {
  if (rt::Thread() != 1) DctInit();  // the program entry builds the main thread's at its own step
}

Dictionary::~Dictionary() { DctKill(); }

rt::ThreadOrder ProgramThreadOrder() {
  return {
      {"ThreadTarget", "ThreadUi", "BindScopes", "ThreadFrames", "FileRegistry", "RelationEpoc", "AFile",
       "KESTROMSGLOG__", "GlobalErrorStatus", "GlobalRequest", "GlobalResponse", "VCRRequest", "History_AFI_Record",
       "HideRelateAFile", "Access_AFile", "Relate_AFile", "Dictionary", "BrowseAFileView"},
      {"BrowseAFileView", "Dictionary", "HideRelateAFile", "Access_AFile", "Relate_AFile", "GlobalErrorStatus",
       "KESTROMSGLOG__", "AFile", "FileRegistry", "RelationEpoc", "History_AFI_Record", "GlobalRequest",
       "GlobalResponse", "VCRRequest", "ThreadFrames", "BindScopes", "ThreadUi", "ThreadTarget"},
  };
}

void ProcessAttach() {
  GLO_USERNAME.Set("");
  rt::DeclareThreadOrder(ProgramThreadOrder());
}
