// Holds the machine's run lock, as a repair in progress holds it: prints
// "held" once it has it, and lets go after SECONDS.
//
//   lock_probe SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "platform/machine_lock.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Text holder;
  const auto lock = TakeMachineLock("修复", 0, &holder);
  if (!lock) {
    std::printf("not held\n");
    return 1;
  }
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::atoi(argv[1])) * 1000);
  return 0;
}
