#pragma once

// Exact points at which tests of crash recovery cut a run off; armed only in
// test programs (those linked with velmora_test_hooks). With
// VELMORA_CRASH_AT=WHERE:N in the environment, the Nth time (from 0) that the
// run passes the point WHERE, the process kills itself with SIGKILL, as a
// power cut would stop it: nothing after that point happens. Without the
// variable the points cost one comparison.
namespace velmora {

void CrashPoint(const char* where);

// VELMORA_FORCE_LINK=1: renames take the link-then-unlink way of file systems
// that refuse an atomic no-replace rename, so that it can be tested anywhere.
bool ForceLinkRename();

// Test programs only, when armed: files are stamped as on a file system
// that keeps no birth times (size and modification time), so that those
// stamps can be tested anywhere.
bool IgnoreBirthTimes();
void ArmIgnoreBirthTimes(bool ignore);

// The same settings made by a test in a child process it forked, whatever
// the environment said (test programs only).
void ArmCrashPoint(const char* where, long at, bool forceLink);

} // namespace velmora
