#include "platform/com_scope.h"

// There is no component runtime to ready on this platform.
ScopedComInitializer::ScopedComInitializer() : succeeded_(true) {}

ScopedComInitializer::~ScopedComInitializer() = default;
