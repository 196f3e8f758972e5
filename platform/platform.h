// The machine as the repair engine sees it.
#pragma once

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell_links.h"

struct Platform {
  Registry& registry;
  FileSystem& files;
  ShellLinks& links;
};
