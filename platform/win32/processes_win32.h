// The running programs through the Toolhelp snapshot, each process's own
// handle, and its windows.
#pragma once

#include "platform/processes.h"

class Win32Processes : public Processes {
 public:
  std::optional<ProcessOwner> Own() override;
  std::vector<RunningProcess> List() override;
  void AskToClose(const std::vector<std::uint32_t>& ids) override;
  bool End(std::uint32_t id, const Text& image) override;
  void Pause(unsigned milliseconds) override;
};
