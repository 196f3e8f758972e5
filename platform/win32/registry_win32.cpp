#include "platform/win32/registry_win32.h"

#include <windows.h>

namespace {

HKEY RootHandle(RegRoot root) {
  switch (root) {
    case RegRoot::kClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegRoot::kCurrentConfig:
      return HKEY_CURRENT_CONFIG;
    case RegRoot::kLocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RegRoot::kUsers:
      return HKEY_USERS;
    case RegRoot::kCurrentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

HKEY AsHkey(RegistryCalls::Key key) { return reinterpret_cast<HKEY>(key); }

// The advapi32 calls in one registry view: 0 for the process's own view, or
// KEY_WOW64_64KEY / KEY_WOW64_32KEY to name one.
class Win32RegistryCalls : public RegistryCalls {
 public:
  explicit Win32RegistryCalls(REGSAM view) : view_(view) {}

  bool OpenKeyForWrite(RegRoot root, const Text& key_path, Key* key) override {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(RootHandle(root), key_path.c_str(), 0, KEY_WRITE | view_, &opened) !=
        ERROR_SUCCESS) {
      return false;
    }
    *key = reinterpret_cast<Key>(opened);
    return true;
  }

  bool CreateKey(RegRoot root, const Text& key_path, Key* key) override {
    HKEY created = nullptr;
    LONG status = view_ == 0 ? RegCreateKeyA(RootHandle(root), key_path.c_str(), &created)
                             : RegCreateKeyExA(RootHandle(root), key_path.c_str(), 0, nullptr, 0,
                                               KEY_WRITE | view_, nullptr, &created, nullptr);
    if (status != ERROR_SUCCESS) return false;
    *key = reinterpret_cast<Key>(created);
    return true;
  }

  bool SetValue(Key key, const Text& name, RegType type,
                const std::vector<std::uint8_t>& data) override {
    return RegSetValueExA(AsHkey(key), name.c_str(), 0, type, data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }

  bool DeleteValue(Key key, const Text& name) override {
    return RegDeleteValueA(AsHkey(key), name.c_str()) == ERROR_SUCCESS;
  }

  bool DeleteKey(RegRoot root, const Text& key_path) override {
    return RegDeleteKeyA(RootHandle(root), key_path.c_str()) == ERROR_SUCCESS;
  }

  void CloseKey(Key key) override { RegCloseKey(AsHkey(key)); }

 private:
  REGSAM view_;
};

}  // namespace

bool RunsUnderWow64() {
  // Looked up at run time: 32-bit Windows XP before SP2 lacks the function.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto is_wow64_process = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return is_wow64_process && is_wow64_process(GetCurrentProcess(), &wow64) && wow64;
}

bool Win32Registry::WriteRegItem(int root_code, const Text& full_path, const RegValue& value) {
  if (!RunsUnderWow64()) {
    Win32RegistryCalls own_view(0);
    return WriteRegItemWith(own_view, root_code, full_path, value);
  }
  Win32RegistryCalls view64(KEY_WOW64_64KEY);
  Win32RegistryCalls view32(KEY_WOW64_32KEY);
  // Both views are written even when the first fails.
  const bool written64 = WriteRegItemWith(view64, root_code, full_path, value);
  const bool written32 = WriteRegItemWith(view32, root_code, full_path, value);
  return written64 && written32;
}

bool Win32Registry::DeleteRegItem(int root_code, const Text& full_path) {
  Win32RegistryCalls own_view(0);
  return DeleteRegItemWith(own_view, root_code, full_path);
}
