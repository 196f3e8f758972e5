#include "platform/registry_calls.h"

bool RegistryCalls::Values(Key key, std::vector<std::pair<Text, RegRawValue>>* values) {
  values->clear();
  std::vector<Text> names;
  if (!ValueNames(key, &names)) return false;
  for (Text& name : names) {
    std::optional<RegRawValue> value;
    if (!QueryRawValue(key, name, &value)) return false;
    if (value) values->emplace_back(std::move(name), std::move(*value));
  }
  return true;
}
