#include "engine/exclusive_run.h"

#include "platform/machine_lock.h"

bool RunExclusively(RepairHost& host, const Text& what, const std::function<void()>& job) {
  Text holder;
  const std::unique_ptr<MachineLock> lock = TakeMachineLock(what, kWaitForOtherRunMs, &holder);
  if (!lock) {
    host.ClearRepairLog();
    host.AppendRepairLog(Text("另一个青禾正在运行") +
                         (holder.empty() ? Text() : "（" + holder + "）") +
                         "，请等它结束后再试\r\n");
    return false;
  }
  job();
  return true;
}
