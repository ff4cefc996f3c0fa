#include "app/program.h"

#include "msglog/globals.h"
#include "msglog/setup.h"
#include "runtime/core/dialogs.h"

void ShowGreeting() { rt::MessageBox("Wellcome ...", "Start"); }

void ProgramEntry() {
  GLO_USERNAME.Set("");
  MessageLogSetup();
  ShowGreeting();
}
