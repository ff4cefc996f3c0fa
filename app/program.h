#pragma once
// The program entry that runs on program thread 1: the managers, the message-log set-up and the
// desktop setting around the frame procedure Main (app/procedures.h), then everything written
// back. Which UI backend shows its windows is chosen by main() (the product) or by a test;
// ProcessAttach (globals.h) runs before it.

void ProgramEntry();

// The greeting the frame raises between the login and the message test window: "Wellcome ..."
// under the caption "Start", a lone OK.
void ShowGreeting();
