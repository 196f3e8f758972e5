// The running programs: listed with their executables, command lines,
// sessions and accounts, asked to close as a person closing their windows
// would, and ended.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/text.h"

// Whose a process is: the session it runs in and the account it runs as.
struct ProcessOwner {
  std::uint32_t session = 0;
  Text account;  // the account's SID as a string ("S-1-5-21-..."); "" unread
  bool operator==(const ProcessOwner& other) const {
    return session == other.session && account == other.account;
  }
};

struct RunningProcess {
  std::uint32_t id = 0;
  Text image;  // its executable's full path
  // Nullopt where it cannot be read (a 64-bit process seen from a 32-bit
  // program on Windows before 8.1).
  std::optional<Text> command_line;
  ProcessOwner owner = {};
};

class Processes {
 public:
  virtual ~Processes() = default;
  // This program's own session and account: the user whose profile the
  // repair reads (its HKEY_CURRENT_USER and folders). Nullopt where either
  // cannot be read.
  virtual std::optional<ProcessOwner> Own() = 0;
  // The processes whose executable's path can be read, of every session and
  // account (other users' too, on a PC with fast user switching or Remote
  // Desktop): the caller chooses.
  virtual std::vector<RunningProcess> List() = 0;
  // Asks every top-level window of these processes, shown or hidden, to
  // close (WM_CLOSE); waits for nothing. A process that is no longer this
  // program's own session's and account's is not asked.
  virtual void AskToClose(const std::vector<std::uint32_t>& ids) = 0;
  // Ends the process `id` when its executable is still `image` and it runs
  // in this program's own session as its own account; true once it has
  // ended.
  virtual bool End(std::uint32_t id, const Text& image) = 0;
  // Lets `milliseconds` pass.
  virtual void Pause(unsigned milliseconds) = 0;
};
