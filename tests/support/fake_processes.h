// A stand-in for the running programs: processes kept in memory, each
// holding a host file descriptor (a browser's lock, flock-ed) until it ends,
// and answering a close request as its kind does.
#pragma once

#include <unistd.h>

#include <algorithm>

#include "platform/processes.h"

class FakeProcesses : public Processes {
 public:
  enum class Kind {
    kClosesWithItsWindow,  // a window that ends the process on WM_CLOSE
    kWindowless,           // asks nothing of it; ends when ended
    kUnendable,            // neither closes nor can be ended
  };
  struct Process {
    RunningProcess shown;
    Kind kind;
    int held = -1;  // closed when the process ends
    bool running = true;
  };
  // This program's own session and account; each process started is its
  // own unless told otherwise.
  std::optional<ProcessOwner> own = ProcessOwner{1, "S-1-5-21-1-2-3-1001"};
  std::vector<Process> processes;
  std::vector<std::uint32_t> asked;  // every id asked to close
  std::vector<std::uint32_t> ended;  // every id End was called for
  unsigned paused_ms = 0;

  ~FakeProcesses() override {
    for (Process& process : processes) Stop(process);
  }

  std::uint32_t Start(const Text& image, std::optional<Text> command_line, Kind kind, int held = -1,
                      std::optional<ProcessOwner> owner = std::nullopt) {
    const auto id = static_cast<std::uint32_t>(100 + processes.size() * 4);
    processes.push_back(
        {{id, image, std::move(command_line), owner.value_or(own.value_or(ProcessOwner{}))},
         kind,
         held});
    return id;
  }
  bool Running(std::uint32_t id) const {
    return std::any_of(processes.begin(), processes.end(),
                       [id](const Process& p) { return p.shown.id == id && p.running; });
  }

  std::optional<ProcessOwner> Own() override { return own; }
  std::vector<RunningProcess> List() override {
    std::vector<RunningProcess> listed;
    for (const Process& process : processes) {
      if (process.running) listed.push_back(process.shown);
    }
    return listed;
  }
  void AskToClose(const std::vector<std::uint32_t>& ids) override {
    asked.insert(asked.end(), ids.begin(), ids.end());
    for (Process& process : processes) {
      if (process.kind == Kind::kClosesWithItsWindow && IsOwn(process) &&
          std::find(ids.begin(), ids.end(), process.shown.id) != ids.end()) {
        Stop(process);
      }
    }
  }
  bool End(std::uint32_t id, const Text& image) override {
    ended.push_back(id);
    for (Process& process : processes) {
      if (process.shown.id != id || !process.running) continue;
      if (process.kind == Kind::kUnendable || !IsOwn(process) ||
          !SameIgnoringAsciiCase(process.shown.image, image)) {
        return false;
      }
      Stop(process);
      return true;
    }
    return true;
  }
  void Pause(unsigned milliseconds) override { paused_ms += milliseconds; }

 private:
  bool IsOwn(const Process& process) const { return own && process.shown.owner == *own; }
  static void Stop(Process& process) {
    process.running = false;
    if (process.held >= 0) close(process.held);
    process.held = -1;
  }
};
