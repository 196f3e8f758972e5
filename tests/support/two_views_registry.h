// Two views over one in-memory registry, as a 32-bit program on 64-bit
// Windows sees them: HKEY_LOCAL_MACHINE\Software of the 32-bit view is
// redirected to ...\Software\WOW6432Node, the rest is one key in both, and
// so is the key given as shared with all below it (Software\Policies on
// Windows 7 and later; all of Software in Wine).
#pragma once

#include <utility>

#include "platform/portable/registry_portable.h"
#include "platform/registry_calls.h"

class TwoViewsRegistry final : public RegistryCalls {
 public:
  // `shared`: the key both views see as one ("" for none).
  TwoViewsRegistry(MemoryRegistry& inner, Text shared)
      : inner_(inner), shared_(std::move(shared)) {}
  bool HasTwoViews() override { return true; }
  bool OpenKeyForWrite(RegRoot root, const Text& path, RegView view, Key* key) override {
    return inner_.OpenKeyForWrite(root, Redirected(root, path, view), RegView::kOwn, key);
  }
  bool CreateKey(RegRoot root, const Text& path, RegView view, Key* key) override {
    return inner_.CreateKey(root, Redirected(root, path, view), RegView::kOwn, key);
  }
  bool SetValue(Key key, const Text& name, RegType type,
                const std::vector<std::uint8_t>& data) override {
    return inner_.SetValue(key, name, type, data);
  }
  bool DeleteValue(Key key, const Text& name) override { return inner_.DeleteValue(key, name); }
  bool DeleteKey(RegRoot root, const Text& path, RegView view) override {
    return inner_.DeleteKey(root, Redirected(root, path, view), RegView::kOwn);
  }
  void CloseKey(Key key) override { inner_.CloseKey(key); }
  bool OpenKeyForRead(RegRoot root, const Text& path, RegView view, Key* key) override {
    return inner_.OpenKeyForRead(root, Redirected(root, path, view), RegView::kOwn, key);
  }
  bool QueryRawValue(Key key, const Text& name, std::optional<RegRawValue>* value) override {
    return inner_.QueryRawValue(key, name, value);
  }
  bool ValueNames(Key key, std::vector<Text>* names) override {
    return inner_.ValueNames(key, names);
  }
  bool SubkeyNames(Key key, std::vector<Text>* names) override {
    return inner_.SubkeyNames(key, names);
  }
  bool SetRawValue(Key key, const Text& name, const RegRawValue& value) override {
    return inner_.SetRawValue(key, name, value);
  }

 private:
  Text Redirected(RegRoot root, const Text& path, RegView view) const {
    const bool shared = !shared_.empty() &&
                        SameIgnoringAsciiCase(path.substr(0, shared_.size()), shared_) &&
                        (path.size() == shared_.size() || path[shared_.size()] == '\\');
    if (view != RegView::k32Bit || root != RegRoot::kLocalMachine || shared ||
        !SameIgnoringAsciiCase(path.substr(0, 9), "Software\\")) {
      return path;
    }
    return "Software\\WOW6432Node\\" + path.substr(9);
  }
  MemoryRegistry& inner_;
  Text shared_;
};
