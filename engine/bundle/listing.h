// Where restore bundles are kept, which there are, and which were undone.
#pragma once

#include <vector>

#include "platform/platform.h"

// <local application data>\qinghe\repairs\ ; empty when that folder is unknown.
Text BundlesFolder(FileSystem& files);

// The bundles below BundlesFolder, newest first, by folder path.
std::vector<Text> ListBundles(Platform& machine);
bool BundleIsUndone(Platform& machine, const Text& folder);
// Marks the bundle in `folder` (ending in a backslash) as undone.
bool MarkBundleUndone(Platform& machine, const Text& folder);
