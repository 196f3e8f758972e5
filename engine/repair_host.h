// What the repair needs of the window it reports to.
#pragma once

#include "platform/text.h"

class RepairHost {
 public:
  virtual ~RepairHost() = default;
  virtual void ClearRepairLog() = 0;
  virtual void AppendRepairLog(const Text& text) = 0;
  virtual Text ReadHomePageAddress() = 0;  // an empty box gives an empty text
  virtual void EnableRepairButton() = 0;
  // Whether the browser of this log name ("Edge"), running in the
  // background and holding its settings, may be closed for the repair;
  // asked at most once a repair for each.
  virtual bool MayCloseBrowser(const Text&) { return false; }
};
