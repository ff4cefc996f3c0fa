#pragma once
// The program entry that runs on program thread 1: the managers, the message-log set-up and the
// desktop setting around Main, then everything written back. Which UI backend shows its windows
// is chosen by main() (the product) or by a test; ProcessAttach (globals.h) runs before it.

void ProgramEntry();

// The frame procedure. Until the frame exists it raises the greeting in its place.
void Main();

// The greeting raised at start: "Wellcome ..." under the caption "Start", a lone OK.
void ShowGreeting();
