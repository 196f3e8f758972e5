// What the machine, not the user's own values, says of the account the
// program runs as: its profile folder, and what its unelevated token may do.
#pragma once

#include <windows.h>

#include <string>

#include "platform/text.h"

// The SID of the account `process` runs as, as text ("S-1-5-21-..."); empty
// where its token cannot be read.
std::wstring AccountSidOf(HANDLE process);

// True when the process runs with an administrator's full token.
bool ProcessIsElevated();

// The account's profile folder from the machine's ProfileList, ending in a
// backslash; empty when it is not recorded.
Text ProfileFolderOfAccount();

// True when the account's unelevated (linked) token may create files in
// `folder`. Where the process has no such token (Windows XP, UAC off, an
// unelevated run) there is no other token to ask, and the answer is true.
bool UnelevatedTokenMayWrite(const Text& folder);
