// Where an opened file or folder really lies, and the changes made through
// its handle: a call that acts through a handle it has checked acts on that
// object, wherever a link swapped in since would lead the path.
#pragma once

#include <windows.h>

#include <string>

#include "platform/text.h"

// True when the object `handle` opened lies at `path` itself (letter case,
// short names and doubled backslashes aside): no link at any level of the
// path led elsewhere. Where the system cannot tell (Windows XP), true when
// no folder on the way is a link.
bool OpenedWhereNamed(HANDLE handle, const Text& path);

// True when a folder on the way to `path` from its drive's root (and the
// path itself, `with_last`) is a reparse point; what does not exist leads
// through none, and what cannot be asked counts as one.
bool LinkOnTheWay(const Text& path, bool with_last);

// Deletes the file, or the empty folder, opened with DELETE access when its
// handle is closed.
bool DeleteThroughHandle(HANDLE handle);

// Renames the file opened with DELETE access to `name` in the folder opened
// as `folder`, replacing a file of that name.
bool RenameIntoFolder(HANDLE file, HANDLE folder, const std::wstring& name);
