#pragma once
// The program entry that runs on program thread 1: the message-log set-up, then the greeting.
// It grows into the full start-up (managers, dictionary, frame) as those parts arrive.
// Which UI backend shows its windows is chosen by main() (the product) or by a test.

void ProgramEntry();

// The greeting raised at start: "Wellcome ..." under the caption "Start", a lone OK.
void ShowGreeting();
