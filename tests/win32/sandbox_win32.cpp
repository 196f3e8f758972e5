// The contract tests' sandbox under Wine: the real registry below a throwaway
// key, and a throwaway folder in the temporary folder. The whole Wine prefix
// is a fresh copy for every run, so nothing here needs undoing.
#include <windows.h>

#include <vector>

#include "platform/com_scope.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/shell_links_win32.h"
#include "tests/contract/sandbox.h"
#include "tests/win32/wine_differences.h"

namespace {

int NextSandboxNumber() {
  static int number = 0;
  return ++number;
}

class RealRegistrySandbox : public RegistrySandbox {
 public:
  RealRegistrySandbox()
      : base_("Software\\QingheTest\\" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(NextSandboxNumber())) {}

  Registry& registry() override { return registry_; }
  Text base() override { return base_; }

  std::optional<StoredValue> Read(RegRoot root, const Text& key_path, const Text& name) override {
    ScopedRegKey key;
    if (RegOpenKeyExA(RootHandle(root), key_path.c_str(), 0, KEY_READ, key.Receive()) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    StoredValue value{type, std::vector<std::uint8_t>(size)};
    if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, value.data.data(), &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    value.data.resize(size);
    return value;
  }

  bool KeyExists(RegRoot root, const Text& key_path) override {
    ScopedRegKey key;
    return RegOpenKeyExA(RootHandle(root), key_path.c_str(), 0, KEY_READ, key.Receive()) ==
           ERROR_SUCCESS;
  }

  void SeedKey(RegRoot root, const Text& key_path) override {
    ScopedRegKey key;
    RegCreateKeyExA(RootHandle(root), key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                    key.Receive(), nullptr);
  }

  void SeedValue(RegRoot root, const Text& key_path, const Text& name,
                 const StoredValue& value) override {
    ScopedRegKey key;
    if (RegCreateKeyExA(RootHandle(root), key_path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        key.Receive(), nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(key.get(), name.c_str(), 0, value.type, value.data.data(),
                     static_cast<DWORD>(value.data.size()));
    }
  }

  RegistryCalls& calls() override { return registry_calls_; }

  void SeedRawValue(RegRoot root, const Text& key_path, const Text& name,
                    const RegRawValue& value) override {
    ScopedRegKey key;
    if (RegCreateKeyExW(RootHandle(root), WideFromAnsi(key_path).c_str(), 0, nullptr, 0, KEY_WRITE,
                        nullptr, key.Receive(), nullptr) != ERROR_SUCCESS) {
      return;
    }
    // A tail that is no zero unit: RegSetValueExW would count a zero unit
    // that follows an unterminated string into it.
    std::string padded = value.bytes + "\xFF\xFF";
    RegSetValueExW(key.get(), WideFromAnsi(name).c_str(), 0, value.type,
                   reinterpret_cast<const BYTE*>(padded.data()),
                   static_cast<DWORD>(value.bytes.size()));
  }

  std::optional<RegRawValue> ReadRawValue(RegRoot root, const Text& key_path,
                                          const Text& name) override {
    ScopedRegKey key;
    if (RegOpenKeyExW(RootHandle(root), WideFromAnsi(key_path).c_str(), 0, KEY_READ,
                      key.Receive()) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    const std::wstring wide_name = WideFromAnsi(name);
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), wide_name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::string bytes(size + 1, '\0');
    if (RegQueryValueExW(key.get(), wide_name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&bytes[0]), &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    bytes.resize(size);
    return RegRawValue{type, bytes};
  }

 private:
  Text base_;
  Win32RegistryCalls registry_calls_;
  RegistryOverCalls registry_{registry_calls_};
};

class TempFolderSandbox : public FilesSandbox {
 public:
  TempFolderSandbox() {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    root_ = Text(temp) + "qinghe-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(NextSandboxNumber()) + "\\";
    CreateDirectoryA(root_.c_str(), nullptr);
  }

  FileSystem& files() override { return files_; }
  Text root() override { return root_; }
  std::string NativePath(const Text& windows_path) override { return windows_path; }
  void MakeFolder(const Text& windows_path) override {
    CreateDirectoryA(windows_path.c_str(), nullptr);
  }

  bool MakeReadOnly(const Text& windows_path) override {
    // Wine running as root ignores the read-only attribute: find out first.
    const Text probe = root_ + "read-only-probe";
    WriteFile(probe, "p");
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_READONLY);
    if (DeleteFileA(probe.c_str())) return false;
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(probe.c_str());
    return SetFileAttributesA(windows_path.c_str(), FILE_ATTRIBUTE_READONLY) != FALSE;
  }

  bool MakeFolderLink(const Text& link, const Text& target) override {
    using CreateSymbolicLinkFn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    auto create_link = reinterpret_cast<CreateSymbolicLinkFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
    const DWORD kDirectoryLink = 1;  // SYMBOLIC_LINK_FLAG_DIRECTORY
    if (!create_link || !create_link(link.c_str(), target.c_str(), kDirectoryLink)) return false;
    // Only a link the system reports as one can be told apart from a folder.
    return files_.IsFolderLink(link);
  }

  bool MakeHardLink(const Text& existing, const Text& second_name) override {
    return CreateHardLinkA(second_name.c_str(), existing.c_str(), nullptr) != FALSE;
  }

  bool MakeFileLink(const Text& link, const Text& target) override {
    using CreateSymbolicLinkFn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
    auto create_link = reinterpret_cast<CreateSymbolicLinkFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
    if (!create_link || !create_link(link.c_str(), target.c_str(), 0)) return false;
    // Wine 8 reports success and makes nothing: only a link seen is one.
    const DWORD attributes = GetFileAttributesA(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }

  bool MakeElevated() override { return files_.IsElevated(); }

  bool KeepsAccessLists() override {
    // Gives a folder the Administrators group as owner and reads it back: a
    // file system without access lists, or Wine, reports another.
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    SECURITY_DESCRIPTOR descriptor;
    const Text probe = root_ + "access-list-probe";
    CreateDirectoryA(probe.c_str(), nullptr);
    std::vector<DWORD> read(1024);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    const bool kept =
        CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorOwner(&descriptor, administrators, FALSE) &&
        SetFileSecurityA(probe.c_str(), OWNER_SECURITY_INFORMATION, &descriptor) &&
        GetFileSecurityA(probe.c_str(), OWNER_SECURITY_INFORMATION, read.data(),
                         static_cast<DWORD>(read.size() * sizeof(DWORD)), &size) &&
        GetSecurityDescriptorOwner(read.data(), &owner, &defaulted) && owner &&
        EqualSid(owner, administrators);
    RemoveDirectoryA(probe.c_str());
    return kept;
  }

 private:
  Text root_;
  Win32FileSystemWithCopy files_;
};

// The shell's link object over a throwaway folder; COM is readied for the
// test's thread for as long as the sandbox lives.
class ShellLinkObjectSandbox : public ShellLinksSandbox {
 public:
  ShellLinks& links() override { return links_; }
  FilesSandbox& folder() override { return folder_; }
  bool Differs(Difference difference) const override {
    switch (difference) {
      case Difference::kShowCommandNotLoaded:
      case Difference::kNoEnvironmentTarget:
        return RunsOnWine();
    }
    return false;
  }

 private:
  ScopedComInitializer com_;  // declared first: it outlives the link object's users
  TempFolderSandbox folder_;
  Win32ShellLinksWithCreate links_;
};

}  // namespace

std::unique_ptr<ShellLinksSandbox> ShellLinksSandbox::Create() {
  return std::make_unique<ShellLinkObjectSandbox>();
}

std::unique_ptr<RegistrySandbox> RegistrySandbox::Create() {
  return std::make_unique<RealRegistrySandbox>();
}

std::unique_ptr<FilesSandbox> FilesSandbox::Create() {
  return std::make_unique<TempFolderSandbox>();
}
