#include <objbase.h>

#include "platform/com_scope.h"

// S_FALSE (already initialised on this thread) counts too: each successful
// call is matched by one CoUninitialize.
ScopedComInitializer::ScopedComInitializer() : succeeded_(SUCCEEDED(CoInitialize(nullptr))) {}

ScopedComInitializer::~ScopedComInitializer() {
  if (succeeded_) CoUninitialize();
}
