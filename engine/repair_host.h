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
};
