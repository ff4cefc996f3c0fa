#pragma once
// The program's global state: the process-wide managers (built before the program entry in the
// order FuzzyMatcher, GlobalErrors, INIMgr and destroyed in reverse after it), the desktop setting
// found at start-up, and each thread's own error status and request variables. The table of
// every per-thread object's build and destroy order is declared here too (DeclareProgramThreadOrder).

#include "framework/error/error_class.h"
#include "framework/error/error_status.h"
#include "framework/history/history_error_class.h"
#include "framework/util/fuzzy.h"
#include "framework/util/ini_class.h"
#include "runtime/core/thread.h"
#include "runtime/core/types.h"

// ---- Process-wide ----
extern FuzzyClass FuzzyMatcher;
extern HistoryErrorClass GlobalErrors;  // its history, when switched on, shows the error history window
extern INIClass INIMgr;

extern rt::Long LCURRENTFDSETTING;  // drag-full-windows as found at start-up (1 = on)
extern rt::Long LADJFDSETTING;      // scratch value handed to the system when it is changed

// ---- Per thread ----
extern rt::PerThread<ErrorStatusClass> GlobalErrorStatus;
extern rt::PerThread<rt::Byte> GlobalRequest;   // the request an update procedure is called with
extern rt::PerThread<rt::Byte> GlobalResponse;  // what it leaves for its caller
extern rt::PerThread<rt::Long> VCRRequest;      // an update form's pending navigation

// Builds the thread's data dictionary when the thread starts (the main thread's is built by the
// program entry) and tears it down when the thread ends.
class Dictionary {
 public:
  Dictionary();
  ~Dictionary();
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
};
extern rt::PerThread<Dictionary> ThreadDictionary;

// The one table of per-thread objects: the runtime's own first built and last destroyed, then
// the files, the error status and requests; the thread ends with its dictionary, its error status,
// the message log file and the data files, in that order.
rt::ThreadOrder ProgramThreadOrder();
// Process attach: the user name cleared and the thread order declared. Before thread 1 starts.
void ProcessAttach();
