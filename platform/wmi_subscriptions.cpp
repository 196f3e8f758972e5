#include "platform/wmi_subscriptions.h"

const Text* WmiObject::Value(const char* name) const {
  for (const WmiProperty& property : properties) {
    if (SameIgnoringAsciiCase(property.name, name)) return &property.value;
  }
  return nullptr;
}
