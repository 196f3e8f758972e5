// The caller's variables for ReadShortcut, pre-filled with markers that no
// read produces, so a test sees which ones were written.
#pragma once

#include <gtest/gtest.h>

#include "platform/shell_links.h"

struct MarkedFields {
  Text target = "marker target";
  Text raw_target = "marker raw";
  Text arguments = "marker arguments";
  Text working_directory = "marker folder";
  Text icon_location = "marker icon";
  int show_command = -7;
  int hotkey = -9;
  Text hotkey_text = "marker hotkey";
  Text description = "marker description";

  // Every field asked for.
  ShortcutFields All() {
    return {&target,       &raw_target, &arguments,   &working_directory, &icon_location,
            &show_command, &hotkey,     &hotkey_text, &description};
  }

  void ExpectUntouched() const {
    const MarkedFields fresh;
    EXPECT_EQ(target, fresh.target);
    EXPECT_EQ(raw_target, fresh.raw_target);
    EXPECT_EQ(arguments, fresh.arguments);
    EXPECT_EQ(working_directory, fresh.working_directory);
    EXPECT_EQ(icon_location, fresh.icon_location);
    EXPECT_EQ(show_command, fresh.show_command);
    EXPECT_EQ(hotkey, fresh.hotkey);
    EXPECT_EQ(hotkey_text, fresh.hotkey_text);
    EXPECT_EQ(description, fresh.description);
  }
};
