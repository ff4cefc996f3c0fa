#pragma once
// A test-only SQLite VFS: a shim over the default one that forwards every call and, once armed,
// fails the Nth write, sync, truncate or lock (counted together) with the code it was given
// (SQLITE_IOERR or SQLITE_FULL), once. Installing it makes it the default VFS of the process,
// so every connection the KEYED driver opens goes through it; disarmed it changes nothing.
// Never linked into the product.

namespace test_vfs {

void Install();                // idempotent
void Arm(int failAt, int code);  // counting starts at 0 now; failAt 0 fails nothing
void Disarm();
// Runs `hook` (disarmed) in place of the Nth call instead of failing it: what another opener
// sees in the middle of an operation.
void ArmHook(int at, void (*hook)(void*), void* context);
bool Failed();                 // the fault was injected since Arm

}  // namespace test_vfs
