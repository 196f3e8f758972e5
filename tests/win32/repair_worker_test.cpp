// COM on a repair's thread, under Wine: readied once for the run and undone
// when it ends.
#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include "app/handlers.h"
#include "platform/com_scope.h"
#include "tests/support/recording_host.h"

namespace {

// True when COM is readied on the calling thread: CoInitialize then only
// counts one more (S_FALSE). The probe's own call is undone.
bool ComReadyOnThisThread() {
  const HRESULT result = CoInitialize(nullptr);
  if (SUCCEEDED(result)) CoUninitialize();
  return result == S_FALSE;
}

struct WorkerRun {
  bool ready_during = false;
  bool ready_after = true;
  RecordingHost host;
};
WorkerRun* current_run = nullptr;

void Repair(Platform&, RepairHost&) { current_run->ready_during = ComReadyOnThisThread(); }

// The worker's work on a thread of its own, as the window starts it.
DWORD WINAPI WorkerThread(void*) {
  RunRepairOnWorker(current_run->host, Repair);
  current_run->ready_after = ComReadyOnThisThread();
  return 0;
}

void RunOnNewThread(WorkerRun* run) {
  current_run = run;
  HANDLE thread = CreateThread(nullptr, 0, WorkerThread, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  current_run = nullptr;
}

TEST(RepairWorker, ComIsReadyForTheRunAndUndoneAfterIt) {
  WorkerRun run;
  RunOnNewThread(&run);
  EXPECT_TRUE(run.ready_during);
  EXPECT_FALSE(run.ready_after);
}

TEST(ScopedComInitializer, NestsAndUndoesOnlyItsOwnCall) {
  // The test's own thread may hold COM already: count from there.
  const bool ready_before = ComReadyOnThisThread();
  {
    ScopedComInitializer outer;
    EXPECT_TRUE(outer.succeeded());
    {
      ScopedComInitializer inner;
      EXPECT_TRUE(inner.succeeded());
    }
    EXPECT_TRUE(ComReadyOnThisThread());
  }
  EXPECT_EQ(ComReadyOnThisThread(), ready_before);
}

}  // namespace
