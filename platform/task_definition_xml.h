// A task definition written as the scheduler's XML, for registering a task
// through its interface (ITaskFolder::RegisterTask takes the text).
#pragma once

#include <optional>
#include <string>

#include "platform/scheduled_tasks.h"

// The daily trigger's start, "YYYY-MM-DDTHH:00:00", local time without a
// zone: the scheduler runs it at that hour every day from then on.
Text TaskStartBoundary(int year, int month, int day, int hour);

// `task`'s definition (schema 1.2, which Windows Vista reads), in UTF-8 and
// without an XML declaration, so that the same text is whole as UTF-8 bytes
// and, converted, as the UTF-16 string the interface takes. Started at the
// account's logon and daily from `start_boundary`, as that account with its
// own unelevated token, one instance at a time, on batteries too, late when
// the machine was off, for at most an hour. An empty account names no user:
// the logon trigger is then any user's and the principal whoever registers
// it. Nullopt when a text holds a byte sequence that is no character of the
// code page, or a control character XML cannot carry (all but tab, line
// feed and carriage return).
std::optional<std::string> UserLogonTaskXml(const UserLogonTask& task, const Text& start_boundary);
