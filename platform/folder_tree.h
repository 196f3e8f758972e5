// Deleting a folder with everything in it, over the file-system calls each
// backend supplies.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

// The files a deletion may take, each with the bytes it held when its copy
// was kept, by its path as the folder's listing names it (the folder
// without a trailing backslash, a backslash, the entry's name). A leftover
// folder holds a few files: a list is enough.
using KeptFiles = std::vector<std::pair<Text, std::string>>;

// Empties the folder and removes it; true when the folder itself went.
// Refuses bare drives and drive roots. A file goes only when `kept` holds it
// with the bytes it holds now, compared and deleted through one opening, so
// nothing is deleted that no copy can give back; whatever is left keeps its
// folders. Names that begin with a dot and read-only files are left, and so
// are the folders holding them. A link to a folder is removed as a link:
// nothing behind it is touched.
bool DeleteFolderTree(FileSystem& files, const Text& path, const KeptFiles& kept);
