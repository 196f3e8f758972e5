// What the contract tests need of a backend: the operations under test, and a
// way to seed and look behind them that does not go through those operations.
// Each backend's test program supplies one of each; the test bodies are shared.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell_links.h"

struct StoredValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const StoredValue& other) const {
    return type == other.type && data == other.data;
  }
};

// A throwaway registry area: tests work below base() under HKEY_CURRENT_USER.
class RegistrySandbox {
 public:
  static std::unique_ptr<RegistrySandbox> Create();
  virtual ~RegistrySandbox() = default;

  virtual Registry& registry() = 0;
  virtual Text base() = 0;  // a key path below HKEY_CURRENT_USER, no trailing backslash
  virtual std::optional<StoredValue> Read(RegRoot root, const Text& key_path, const Text& name) = 0;
  virtual bool KeyExists(RegRoot root, const Text& key_path) = 0;
  virtual void SeedKey(RegRoot root, const Text& key_path) = 0;
  virtual void SeedValue(RegRoot root, const Text& key_path, const Text& name,
                         const StoredValue& value) = 0;

  // The backend's calls, for the operations written over them.
  virtual RegistryCalls& calls() = 0;
  // A value's type and bytes as stored, seeded and read around those calls.
  virtual void SeedRawValue(RegRoot root, const Text& key_path, const Text& name,
                            const RegRawValue& value) = 0;
  virtual std::optional<RegRawValue> ReadRawValue(RegRoot root, const Text& key_path,
                                                  const Text& name) = 0;
};

// A throwaway folder: tests work below root(), a Windows path ending in a backslash.
class FilesSandbox {
 public:
  static std::unique_ptr<FilesSandbox> Create();
  virtual ~FilesSandbox() = default;

  virtual FileSystem& files() = 0;
  virtual Text root() = 0;
  // The path the C library opens for a Windows path.
  virtual std::string NativePath(const Text& windows_path) = 0;
  virtual void MakeFolder(const Text& windows_path) = 0;
  // Makes a file undeletable; false where the backend cannot express that.
  virtual bool MakeReadOnly(const Text& windows_path) = 0;
  // Plants a link to a folder; false where the backend cannot express that.
  virtual bool MakeFolderLink(const Text& link, const Text& target) = 0;
  // Gives an existing file a second name (a hard link).
  virtual bool MakeHardLink(const Text& existing, const Text& second_name) = 0;
  // Plants a link to a file; false where the backend cannot express that.
  virtual bool MakeFileLink(const Text& link, const Text& target) = 0;
  // Lets files() run elevated; false where the program is not elevated and
  // cannot be made so.
  virtual bool MakeElevated() = 0;
  // False where the file system does not keep the owner and access list a
  // folder is made with (Wine keeps only mode bits, and reports the user as
  // every file's owner).
  virtual bool KeepsAccessLists() = 0;

  void WriteFile(const Text& windows_path, const std::string& bytes);
  std::optional<std::string> ReadFile(const Text& windows_path);
  bool Exists(const Text& windows_path);
};

// A throwaway folder with the shell link operations over it: tests keep their
// link files below folder().root().
class ShellLinksSandbox {
 public:
  static std::unique_ptr<ShellLinksSandbox> Create();
  virtual ~ShellLinksSandbox() = default;

  virtual ShellLinks& links() = 0;
  virtual FilesSandbox& folder() = 0;

  // Where a backend is known to behave otherwise than the Windows shell. The
  // tests keep the Windows expectation and, where the backend differs, check
  // what it does instead or say why they cannot.
  enum class Difference {
    // Loading a link leaves the show command as it was (Wine's
    // IPersistStream::Load never reads it): a fresh link object reports 1.
    kShowCommandNotLoaded,
    // SetPath keeps no %VAR% form of a target (Wine takes it as a path
    // relative to the current folder).
    kNoEnvironmentTarget,
  };
  virtual bool Differs(Difference) const { return false; }
};
