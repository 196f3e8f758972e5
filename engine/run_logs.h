// Every run leaves its log as a file a person can read and send: a repair's
// in its restore bundle (log.txt), a check's and an undo's in
// <local application data>\qinghe\logs\ (check-YYYYMMDD-HHMMSS.txt,
// undo-...), the newest 20 of each kept. UTF-8 with a byte-order mark, CR
// LF, the program's version, Windows' and whether the run was elevated first.
#pragma once

#include "engine/repair_host.h"
#include "platform/platform.h"

// Passes every call on to `host` and keeps a copy of the log.
class LogCopy : public RepairHost {
 public:
  explicit LogCopy(RepairHost& host) : host_(host) {}
  void ClearRepairLog() override {
    text_.clear();
    host_.ClearRepairLog();
  }
  void AppendRepairLog(const Text& text) override {
    text_ += text;
    host_.AppendRepairLog(text);
  }
  Text ReadHomePageAddress() override { return host_.ReadHomePageAddress(); }
  void EnableRepairButton() override { host_.EnableRepairButton(); }
  bool MayCloseBrowser(const Text& browser) override { return host_.MayCloseBrowser(browser); }
  const Text& text() const { return text_; }

 private:
  RepairHost& host_;
  Text text_;
};

// How many logs of one kind are kept.
constexpr int kLogsKept = 20;

// <local application data>\qinghe\logs\ ; empty when that folder is unknown.
Text LogsFolder(FileSystem& files);

// The three lines about this run: the program's version, Windows' and
// whether it runs elevated.
Text RunFacts(Platform& machine);

// A log file's bytes: `facts`, then `log`.
std::string LogFileBytes(const Text& facts, const Text& log);

// The file's bytes for `log`: the run's facts, then the log.
std::string RunLogFile(Platform& machine, const Text& log);

// Writes `log` as `kind`-STAMP.txt into the logs folder and prunes the
// oldest beyond kLogsKept; false when it could not be written.
bool KeepRunLog(Platform& machine, const char* kind, const Text& log);

// Writes `log` into the bundle folder (ending in a backslash) as log.txt.
bool KeepRepairLog(Platform& machine, const Text& bundle_folder, const Text& log);
