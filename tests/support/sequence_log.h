// A whole check's or repair's log on a test machine, and the lines of it that
// name the browsers' start pages: what the profile tests compare.
#pragma once

#include "engine/sequence.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tests/support/recording_host.h"

// The log of a check (`check`) or of a repair, the box holding `address`.
inline Text SequenceLog(Platform& machine, const Text& address, bool check) {
  RecordingHost host(address);
  if (check) {
    RunCheck(machine, host);
  } else {
    RunRepairSequence(machine, host);
  }
  return host.log();
}

// The log lines that name browsers' start pages.
inline TextArray BrowserLines(const Text& log) {
  TextArray lines;
  for (const Text& line : SplitText(log, "\r\n")) {
    if (line.rfind("浏览器主页：", 0) == 0) lines.push_back(line);
  }
  return lines;
}
