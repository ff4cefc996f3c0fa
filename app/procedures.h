#pragma once
// The demo's window procedures. Each opens its own window on the calling thread, runs it to the
// end and leaves the result in the thread's GlobalResponse. Owns nothing beyond the call; calls
// the window framework, the INI manager and the error manager (app/globals.h).

// The application frame: opens, runs the start-up sequence (login, greeting, message test
// window) and then serves its menu until it is closed.
void Main();

// Asks for the user name every log entry carries; pre-filled with "DemoUser".
void LoginScreen();

// Six buttons that raise each kind of message and stop, and the log's path.
void WindowTest();

// The records of AFile in a list, in record order; Insert, Change and Delete open the update form.
// The frame starts it on a thread of its own.
void BrowseAFile();
// The message log, newest entry first, with a filter row; new entries appear as they are
// written. The frame starts it on a thread of its own.
void MessageLogWindow();

// The form for one AFile record, on the caller's thread: GlobalRequest (Insert, Change, Delete,
// View) and the thread's AFile record in; GlobalResponse (Completed, Cancelled) and the record
// as added, changed or deleted out. A view always answers Cancelled.
void UpdateAFile();
