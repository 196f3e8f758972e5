// The contract tests' sandbox on Linux: the in-memory registry, and a
// temporary folder mapped as drive C.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "tests/contract/sandbox.h"
#include "tests/support/temp_folder.h"

namespace {

class MemoryRegistrySandbox : public RegistrySandbox {
 public:
  Registry& registry() override { return registry_items_; }
  Text base() override { return "Software\\QingheTest"; }
  std::optional<StoredValue> Read(RegRoot root, const Text& key_path, const Text& name) override {
    auto value = registry_.ReadValue(root, key_path, name);
    if (!value) return std::nullopt;
    return StoredValue{value->type, value->data};
  }
  bool KeyExists(RegRoot root, const Text& key_path) override {
    return registry_.KeyExists(root, key_path);
  }
  void SeedKey(RegRoot root, const Text& key_path) override { registry_.SeedKey(root, key_path); }
  void SeedValue(RegRoot root, const Text& key_path, const Text& name,
                 const StoredValue& value) override {
    registry_.SeedValue(root, key_path, name, {static_cast<RegType>(value.type), value.data});
  }
  RegistryCalls& calls() override { return registry_; }
  void SeedRawValue(RegRoot root, const Text& key_path, const Text& name,
                    const RegRawValue& value) override {
    registry_.SeedRawValue(root, key_path, name, value);
  }
  std::optional<RegRawValue> ReadRawValue(RegRoot root, const Text& key_path,
                                          const Text& name) override {
    return registry_.ReadRawValue(root, key_path, name);
  }

 private:
  MemoryRegistry registry_;
  RegistryOverCalls registry_items_{registry_};
};

class TempFolderSandbox : public FilesSandbox {
 public:
  TempFolderSandbox() {
    files_.MapDrive('C', drive_);
    std::filesystem::create_directories(drive_ + "/t");
    std::filesystem::create_directories(drive_ + "/Users/u/Desktop");
    files_.SetSpecialFolder(kDesktopFolder, "C:\\Users\\u\\Desktop");
  }
  FileSystem& files() override { return files_; }
  PortableFileSystem& portable_files() { return files_; }
  Text root() override { return "C:\\t\\"; }
  std::string NativePath(const Text& windows_path) override {
    return files_.HostPath(windows_path).value_or("/nonexistent/qinghe");
  }
  void MakeFolder(const Text& windows_path) override {
    mkdir(NativePath(windows_path).c_str(), 0777);
  }
  bool MakeReadOnly(const Text& windows_path) override {
    return chmod(NativePath(windows_path).c_str(), 0444) == 0;
  }
  bool MakeFolderLink(const Text& link, const Text& target) override {
    return symlink(NativePath(target).c_str(), NativePath(link).c_str()) == 0;
  }
  bool MakeHardLink(const Text& existing, const Text& second_name) override {
    return link(NativePath(existing).c_str(), NativePath(second_name).c_str()) == 0;
  }
  bool MakeFileLink(const Text& link, const Text& target) override {
    return symlink(NativePath(target).c_str(), NativePath(link).c_str()) == 0;
  }
  bool MakeElevated() override {
    files_.SetElevated(true);
    return true;
  }
  // The portable backend keeps what it made private for as long as it lives.
  bool KeepsAccessLists() override { return true; }

 private:
  TempFolder folder_;
  const std::string drive_ = folder_.path();
  PortableFileSystem files_;
};

class PortableLinksSandbox : public ShellLinksSandbox {
 public:
  ShellLinks& links() override { return links_; }
  FilesSandbox& folder() override { return folder_; }

 private:
  TempFolderSandbox folder_;
  PortableShellLinks links_{folder_.portable_files()};
};

}  // namespace

std::unique_ptr<RegistrySandbox> RegistrySandbox::Create() {
  return std::make_unique<MemoryRegistrySandbox>();
}

std::unique_ptr<FilesSandbox> FilesSandbox::Create() {
  return std::make_unique<TempFolderSandbox>();
}

std::unique_ptr<ShellLinksSandbox> ShellLinksSandbox::Create() {
  return std::make_unique<PortableLinksSandbox>();
}
