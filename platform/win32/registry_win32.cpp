#include "platform/win32/registry_win32.h"

namespace {

HKEY AsHkey(RegistryCalls::Key key) { return reinterpret_cast<HKEY>(key); }

REGSAM ViewFlag(RegView view) {
  switch (view) {
    case RegView::k64Bit:
      return KEY_WOW64_64KEY;
    case RegView::k32Bit:
      return KEY_WOW64_32KEY;
    case RegView::kOwn:
      break;
  }
  return 0;
}

}  // namespace

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

bool RunsUnderWow64() {
  // Looked up at run time: 32-bit Windows XP before SP2 lacks the function.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto is_wow64_process = reinterpret_cast<IsWow64ProcessFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return is_wow64_process && is_wow64_process(GetCurrentProcess(), &wow64) && wow64;
}

bool Win32RegistryCalls::OpenKeyForWrite(RegRoot root, const Text& key_path, RegView view,
                                         Key* key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(RootHandle(root), key_path.c_str(), 0, KEY_WRITE | ViewFlag(view), &opened) !=
      ERROR_SUCCESS) {
    return false;
  }
  *key = reinterpret_cast<Key>(opened);
  return true;
}

bool Win32RegistryCalls::CreateKey(RegRoot root, const Text& key_path, RegView view, Key* key) {
  HKEY created = nullptr;
  const LONG status = view == RegView::kOwn
                          ? RegCreateKeyA(RootHandle(root), key_path.c_str(), &created)
                          : RegCreateKeyExA(RootHandle(root), key_path.c_str(), 0, nullptr, 0,
                                            KEY_WRITE | ViewFlag(view), nullptr, &created, nullptr);
  if (status != ERROR_SUCCESS) return false;
  *key = reinterpret_cast<Key>(created);
  return true;
}

bool Win32RegistryCalls::SetValue(Key key, const Text& name, RegType type,
                                  const std::vector<std::uint8_t>& data) {
  return RegSetValueExA(AsHkey(key), name.c_str(), 0, type, data.data(),
                        static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

bool Win32RegistryCalls::DeleteValue(Key key, const Text& name) {
  return RegDeleteValueA(AsHkey(key), name.c_str()) == ERROR_SUCCESS;
}

bool Win32RegistryCalls::DeleteKey(RegRoot root, const Text& key_path, RegView view) {
  if (view == RegView::kOwn) {
    return RegDeleteKeyA(RootHandle(root), key_path.c_str()) == ERROR_SUCCESS;
  }
  // Looked up at run time: 32-bit Windows XP lacks the function.
  using RegDeleteKeyExFn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
  auto delete_key = reinterpret_cast<RegDeleteKeyExFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "RegDeleteKeyExA")));
  return delete_key &&
         delete_key(RootHandle(root), key_path.c_str(), ViewFlag(view), 0) == ERROR_SUCCESS;
}

void Win32RegistryCalls::CloseKey(Key key) { RegCloseKey(AsHkey(key)); }
