// A repair host that gathers the log as text and answers the address box
// from a script, so a test can change the box between reads.
#pragma once

#include <functional>

#include "engine/repair_host.h"

class RecordingHost : public RepairHost {
 public:
  explicit RecordingHost(Text address = "http://www.example.com/") : address_(std::move(address)) {}

  void ClearRepairLog() override {
    log_.clear();
    ++clears_;
  }
  void AppendRepairLog(const Text& text) override {
    log_ += text;
    lines_.push_back(text);
  }
  Text ReadHomePageAddress() override {
    ++address_reads_;
    if (on_address_read_) on_address_read_(address_reads_);
    return address_;
  }
  void EnableRepairButton() override { ++enables_; }

  void set_address(const Text& address) { address_ = address; }
  void on_address_read(std::function<void(int)> hook) { on_address_read_ = std::move(hook); }

  const Text& log() const { return log_; }
  const TextArray& appended() const { return lines_; }
  int clears() const { return clears_; }
  int enables() const { return enables_; }

 private:
  Text address_;
  Text log_;
  TextArray lines_;
  int clears_ = 0;
  int enables_ = 0;
  int address_reads_ = 0;
  std::function<void(int)> on_address_read_;
};
