#include "platform/win32/registry_win32.h"

#include "platform/win32/ansi_text.h"

namespace {

HKEY AsHkey(RegistryCalls::Key key) { return reinterpret_cast<HKEY>(key); }

// Longest names the registry allows, in UTF-16 units, with room for the zero.
constexpr DWORD kMaxKeyName = 255 + 1;
constexpr DWORD kMaxValueName = 16383 + 1;

REGSAM ViewFlag(RegView view) {
  // With one view every view is it: 32-bit Windows before XP SP2 knows no
  // view flags, and RegDeleteKeyExA is not there to take one.
  static const bool two_views = WindowsIs64Bit();
  if (!two_views) return 0;
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

// A name in UTF-16, when it converts there and back unchanged; never one cut
// short at a zero.
std::optional<std::wstring> ExactWide(const Text& text) {
  if (text.find('\0') != Text::npos) return std::nullopt;
  std::wstring wide = WideFromAnsi(text);
  if (ExactAnsiFromWide(wide) != text) return std::nullopt;
  return wide;
}

// A name the registry gave, in code page 936; a zero inside it would end it
// early in every call it is handed to.
std::optional<Text> ExactName(const wchar_t* name, DWORD length) {
  const std::wstring_view wide(name, length);
  if (wide.find(L'\0') != std::wstring_view::npos) return std::nullopt;
  return ExactAnsiFromWide(wide);
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

bool WindowsIs64Bit() {
#ifdef _WIN64
  return true;
#else
  return RunsUnderWow64();
#endif
}

bool RunsUnderWow64() {
#ifdef _WIN64
  return false;
#endif
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
  const LONG status = ViewFlag(view) == 0
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
  if (ViewFlag(view) == 0) {
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

bool Win32RegistryCalls::OpenKeyForRead(RegRoot root, const Text& key_path, RegView view,
                                        Key* key) {
  const std::optional<std::wstring> path = ExactWide(key_path);
  HKEY opened = nullptr;
  // A registry link is opened as itself, not followed: what it leads to is
  // no part of the tree being read (REG_OPTION_OPEN_LINK). But for one of
  // Windows' own: the 32-bit view of the machine's classes is the link
  // HKLM\Software\Wow6432Node\Classes, to ...\Classes\Wow6432Node, and
  // opened as itself it holds nothing, so neither program would see a class
  // registered there.
  const DWORD kOpenLink = 0x00000008;
  const bool wow64_classes =
      root == RegRoot::kLocalMachine && SameIgnoringAsciiCase(key_path, "Software\\Classes") &&
      (view == RegView::k32Bit || (view == RegView::kOwn && RunsUnderWow64()));
  if (!path || RegOpenKeyExW(RootHandle(root), path->c_str(), wow64_classes ? 0 : kOpenLink,
                             KEY_READ | ViewFlag(view), &opened) != ERROR_SUCCESS) {
    return false;
  }
  *key = reinterpret_cast<Key>(opened);
  return true;
}

bool Win32RegistryCalls::QueryRawValue(Key key, const Text& name,
                                       std::optional<RegRawValue>* value) {
  value->reset();
  const std::optional<std::wstring> wide = ExactWide(name);
  if (!wide) return false;
  std::string bytes(256, '\0');
  // The value may grow between the call that sizes it and the one that reads it.
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD type = 0;
    auto size = static_cast<DWORD>(bytes.size());
    const LONG status = RegQueryValueExW(AsHkey(key), wide->c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(&bytes[0]), &size);
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status == ERROR_SUCCESS) {
      bytes.resize(size);
      *value = RegRawValue{type, std::move(bytes)};
      return true;
    }
    if (status != ERROR_MORE_DATA) return false;
    bytes.resize(size > bytes.size() ? size : bytes.size() * 2);
  }
  return false;
}

bool Win32RegistryCalls::Values(Key key, std::vector<std::pair<Text, RegRawValue>>* values) {
  values->clear();
  std::wstring name(kMaxValueName, L'\0');
  std::string bytes(1024, '\0');
  int attempts = 0;
  for (DWORD index = 0;;) {
    DWORD length = kMaxValueName;
    DWORD type = 0;
    auto size = static_cast<DWORD>(bytes.size());
    const LONG status = RegEnumValueW(AsHkey(key), index, &name[0], &length, nullptr, &type,
                                      reinterpret_cast<BYTE*>(&bytes[0]), &size);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    // The value may grow between the call that sizes it and the one that reads it.
    if (status == ERROR_MORE_DATA && ++attempts < 8) {
      bytes.resize(size > bytes.size() ? size : bytes.size() * 2);
      continue;
    }
    if (status != ERROR_SUCCESS) return false;
    std::optional<Text> text = ExactName(name.data(), length);
    if (!text) return false;
    values->emplace_back(std::move(*text), RegRawValue{type, bytes.substr(0, size)});
    attempts = 0;
    ++index;
  }
}

bool Win32RegistryCalls::ValueNames(Key key, std::vector<Text>* names) {
  names->clear();
  std::wstring buffer(kMaxValueName, L'\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = kMaxValueName;
    const LONG status =
        RegEnumValueW(AsHkey(key), index, &buffer[0], &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status != ERROR_SUCCESS) return false;
    std::optional<Text> name = ExactName(buffer.data(), length);
    if (!name) return false;
    names->push_back(std::move(*name));
  }
}

bool Win32RegistryCalls::SubkeyNames(Key key, std::vector<Text>* names) {
  names->clear();
  wchar_t buffer[kMaxKeyName];
  for (DWORD index = 0;; ++index) {
    DWORD length = kMaxKeyName;
    const LONG status =
        RegEnumKeyExW(AsHkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) return true;
    if (status != ERROR_SUCCESS) return false;
    std::optional<Text> name = ExactName(buffer, length);
    if (!name) return false;
    names->push_back(std::move(*name));
  }
}

bool Win32RegistryCalls::SetRawValue(Key key, const Text& name, const RegRawValue& value) {
  const std::optional<std::wstring> wide = ExactWide(name);
  if (!wide) return false;
  // RegSetValueExW counts one more zero unit into a string-typed value that
  // does not end in one when a zero unit follows its bytes in memory (as NT
  // always has): the bytes go with a tail that is no zero, so exactly they
  // are stored.
  std::string padded = value.bytes;
  padded.append(2, '\xFF');
  return RegSetValueExW(AsHkey(key), wide->c_str(), 0, value.type,
                        reinterpret_cast<const BYTE*>(padded.data()),
                        static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
}
