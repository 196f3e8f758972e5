// <chrono> does not build with a GBK execution charset: the wait is
// pthread's.
#include <pthread.h>
#include <time.h>

#include "platform/machine_lock.h"

namespace {

// The portable machine is this process: its runs share one lock, and the
// text of what its holder runs, behind a lock of its own.
pthread_mutex_t run_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t what_lock = PTHREAD_MUTEX_INITIALIZER;

Text& What() {
  static Text what;
  return what;
}

class PortableMachineLock : public MachineLock {
 public:
  ~PortableMachineLock() override { pthread_mutex_unlock(&run_lock); }
};

}  // namespace

std::unique_ptr<MachineLock> TakeMachineLock(const Text& what, unsigned wait_ms, Text* holder) {
  holder->clear();
  timespec until;
  clock_gettime(CLOCK_REALTIME, &until);
  until.tv_sec += wait_ms / 1000;
  until.tv_nsec += static_cast<long>(wait_ms % 1000) * 1000000L;
  if (until.tv_nsec >= 1000000000L) {
    ++until.tv_sec;
    until.tv_nsec -= 1000000000L;
  }
  const bool taken = pthread_mutex_timedlock(&run_lock, &until) == 0;
  pthread_mutex_lock(&what_lock);
  if (taken) {
    What() = what;
  } else {
    *holder = What();
  }
  pthread_mutex_unlock(&what_lock);
  if (!taken) return nullptr;
  return std::make_unique<PortableMachineLock>();
}
