// Deleting a folder with everything in it, over the file-system calls each
// backend supplies.
#pragma once

#include "platform/files.h"

// Empties the folder and removes it; true when the folder itself went.
// Refuses bare drives and drive roots. Names that begin with a dot and
// read-only files are left, and so are the folders holding them. A link to a
// folder is removed as a link: nothing behind it is touched.
bool DeleteFolderTree(FileSystem& files, const Text& path);
