// One registry value or key tree read through each of the program's views:
// on 64-bit Windows a key the views share (the machine's Software\Policies
// on Windows 7 and later, and in Wine) is read twice, under a name of each
// view's, and is shown and changed once.
#pragma once

#include <string>

#include "platform/registry_value.h"

// A value (or a key tree) as a finder read it through one view.
struct ViewedEntry {
  RegView view = RegView::kOwn;
  RegRoot root = RegRoot::kLocalMachine;
  Text key_path;        // the key it is in
  Text name;            // the value's name, or the subkey's
  std::string content;  // ViewedContent of what it holds
};

// What a value or a tree holds, in one form to compare: a value's type and
// bytes; a tree's names (in one letter case) and values, in one order.
std::string ViewedContent(const RegRawValue& value);
std::string ViewedContent(const RegKeyTree& tree);

// True when `later` is most likely `earlier` read again through another
// view: the same root, key path and name, holding the same.
bool SameThroughOtherView(const ViewedEntry& earlier, const ViewedEntry& later);
