#include "platform/win32/user_account.h"

#include <windows.h>
// after windows.h, which it needs
#include <sddl.h>

#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/file_security.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scoped_handle.h"

namespace {

struct LocalFreeTraits {
  using Handle = wchar_t*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { LocalFree(h); }
};

// The process's token information of `kind`, in a buffer of its size.
std::vector<DWORD> TokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  std::vector<DWORD> information(size / sizeof(DWORD) + 1);
  if (size == 0 || !GetTokenInformation(token, kind, information.data(), size, &size)) {
    information.clear();
  }
  return information;
}

}  // namespace

std::wstring AccountSidOf(HANDLE process) {
  ScopedKernelHandle token;
  if (!OpenProcessToken(process, TOKEN_QUERY, token.Receive())) return std::wstring();
  const std::vector<DWORD> user = TokenInformation(token.get(), TokenUser);
  if (user.empty()) return std::wstring();
  ScopedHandle<LocalFreeTraits> sid_text;
  if (!ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid,
                              sid_text.Receive())) {
    return std::wstring();
  }
  return sid_text.get();
}

Text ProfileFolderOfAccount() {
  const std::wstring sid = AccountSidOf(GetCurrentProcess());
  if (sid.empty()) return Text();
  const std::wstring key =
      std::wstring(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\") + sid;
  ScopedRegKey profile;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, profile.Receive()) !=
      ERROR_SUCCESS) {
    return Text();
  }
  wchar_t stored[MAX_PATH] = {};
  DWORD type = 0, size = sizeof stored - sizeof(wchar_t);
  if (RegQueryValueExW(profile.get(), L"ProfileImagePath", nullptr, &type,
                       reinterpret_cast<BYTE*>(stored), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return Text();
  }
  // Expanded from the system's variables: the machine's value names them.
  wchar_t expanded[MAX_PATH] = {};
  const DWORD length = ExpandEnvironmentStringsW(stored, expanded, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return Text();
  std::optional<Text> folder = ExactAnsiFromWide(expanded);
  if (!folder || folder->size() < 3) return Text();
  if (folder->back() != '\\') *folder += '\\';
  return *folder;
}

bool UnelevatedTokenMayWrite(const Text& folder) {
  ScopedKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive())) return false;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  // XP knows no elevation: an administrator there is one in full.
  if (!GetTokenInformation(token.get(), TokenElevationType, &type, sizeof type, &size) ||
      type != TokenElevationTypeFull) {
    return true;
  }
  TOKEN_LINKED_TOKEN linked = {};
  if (!GetTokenInformation(token.get(), TokenLinkedToken, &linked, sizeof linked, &size)) {
    return false;
  }
  // An identification token, as AccessCheck needs, for a caller without
  // the right to act as part of the system.
  ScopedKernelHandle user_token(linked.LinkedToken);
  const SECURITY_INFORMATION asked =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  const std::wstring path = WideFromAnsi(folder);
  DWORD needed = 0;
  GetFileSecurityW(path.c_str(), asked, nullptr, 0, &needed);
  std::vector<DWORD> descriptor(needed / sizeof(DWORD) + 1);
  if (needed == 0 || !GetFileSecurityW(path.c_str(), asked, descriptor.data(), needed, &needed)) {
    return false;
  }
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                             FILE_ALL_ACCESS};
  DWORD wanted = FILE_ADD_FILE;
  MapGenericMask(&wanted, &mapping);
  PRIVILEGE_SET privileges = {};
  DWORD privileges_size = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  return AccessCheck(descriptor.data(), user_token.get(), wanted, &mapping, &privileges,
                     &privileges_size, &granted, &allowed) &&
         allowed;
}

bool ProcessIsElevated() {
  ScopedKernelHandle token;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  // Windows XP knows no TokenElevation and fails the call.
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Receive()) &&
      GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size)) {
    return elevation.TokenIsElevated != 0;
  }
  // There an administrator's token is always the full one: membership decides.
  BOOL member = FALSE;
  return CheckTokenMembership(nullptr, AdministratorsSid(), &member) && member;
}
