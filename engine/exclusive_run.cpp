#include "engine/exclusive_run.h"

std::unique_ptr<MachineLock> LockForRun(RepairHost& host, const char* what) {
  Text holder;
  std::unique_ptr<MachineLock> lock = TakeMachineLock(Text(what), kWaitForOtherRunMs, &holder);
  if (!lock) {
    host.ClearRepairLog();
    host.AppendRepairLog(Text("另一个青禾正在运行") +
                         (holder.empty() ? Text() : "（" + holder + "）") +
                         "，请等它结束后再试\r\n");
  }
  return lock;
}
