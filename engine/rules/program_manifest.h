// The window program asks for an administrator's rights in its manifest
// (highestAvailable). The copy the watch at logon starts must not: a task
// run with the user's own token cannot start such a program, and a prompt
// at every logon is what the watch must never do. So the copy's manifest
// asks for the caller's own rights (asInvoker), changed in place in the
// program's bytes, the same length, nothing else touched.
#pragma once

#include <optional>
#include <string>

// `program` (a PE file's bytes) with its manifest's run level set to
// asInvoker; nullopt unless the bytes hold exactly one manifest (an
// <assembly>…</assembly> text with no NUL in it) asking for
// highestAvailable or requireAdministrator exactly once.
std::optional<std::string> RunAsInvokerCopy(const std::string& program);
