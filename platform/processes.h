// The running programs of this session and user: listed with their
// executables and command lines, asked to close as a person closing their
// windows would, and ended.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text.h"

struct RunningProcess {
  std::uint32_t id = 0;
  Text image;  // its executable's full path
  // Nullopt where it cannot be read (a 64-bit process seen from a 32-bit
  // program on Windows before 8.1).
  std::optional<Text> command_line;
};

class Processes {
 public:
  virtual ~Processes() = default;
  // The processes of this session running as this user whose executable's
  // path can be read.
  virtual std::vector<RunningProcess> List() = 0;
  // Asks every top-level window of these processes, shown or hidden, to
  // close (WM_CLOSE); waits for nothing.
  virtual void AskToClose(const std::vector<std::uint32_t>& ids) = 0;
  // Ends the process `id` when its executable is still `image`; true once
  // it has ended.
  virtual bool End(std::uint32_t id, const Text& image) = 0;
  // Lets `milliseconds` pass.
  virtual void Pause(unsigned milliseconds) = 0;
};
