#include "app/program.h"

#include "app/dictionary.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "msglog/setup.h"
#include "runtime/core/dialogs.h"
#include "runtime/platform/platform.h"

namespace {

constexpr std::uint32_t kWriteProfileAndBroadcast = 3;

}  // namespace

void ShowGreeting() { rt::MessageBox("Wellcome ...", "Start"); }

void ProgramEntry() {
  GlobalErrors.Init(GlobalErrorStatus);
  FuzzyMatcher.Init();
  FuzzyMatcher.SetOption(1, 1);  // NoCase on
  FuzzyMatcher.SetOption(2, 0);  // WordOnly off
  INIMgr.Init(".\\Quibbet_demo.INI", 0, 0);
  DctInit();
  MessageLogSetup();

  // Windows are dragged as outlines while the program runs; the user's setting comes back after.
  rt::platform::SystemParametersInfoA(rt::platform::SPI_GETDRAGFULLWINDOWS, 0, &LCURRENTFDSETTING, 0);
  if (LCURRENTFDSETTING == 1)
    rt::platform::SystemParametersInfoA(rt::platform::SPI_SETDRAGFULLWINDOWS, 0, &LADJFDSETTING,
                                        kWriteProfileAndBroadcast);
  Main();
  INIMgr.Update();
  if (LCURRENTFDSETTING == 1)
    rt::platform::SystemParametersInfoA(rt::platform::SPI_SETDRAGFULLWINDOWS, 1, &LADJFDSETTING,
                                        kWriteProfileAndBroadcast);
  INIMgr.Kill();
  FuzzyMatcher.Kill();
}
