// Readies the calling thread for the shell's link object for as long as the
// owner lives: COM on Windows, nothing where there is none. One owner at the
// top of each thread that uses links; its end undoes it on every way out of
// the thread's work, an exception included.
#pragma once

class ScopedComInitializer {
 public:
  ScopedComInitializer();
  ~ScopedComInitializer();
  ScopedComInitializer(const ScopedComInitializer&) = delete;
  ScopedComInitializer& operator=(const ScopedComInitializer&) = delete;

  // False when the thread could not be readied; link operations then fail.
  bool succeeded() const { return succeeded_; }

 private:
  bool succeeded_ = false;
};
