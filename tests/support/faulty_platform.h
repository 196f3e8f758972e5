// Wraps a machine so that one chosen operation fails at its n-th call, and
// counts every operation's calls: a test can then fail each call site in turn.
// A new file's write can also fail the way a full disk makes it fail: taken
// in part while reported as written, or made and then reported as failed.
#pragma once

#include <functional>
#include <map>

#include "platform/platform.h"

enum class Operation {
  kWriteRegItem,
  kDeleteRegItem,
  kReadRegistry,
  kWriteRegistry,
  kGetSpecialFolder,
  kPathExists,
  kCreateFolder,
  kCopyOneFile,
  kWriteNewFile,
  kReadWholeFile,
  kAppendToFile,
  kUnpredictableToken,
  kDeleteOneFile,
  kMoveOverFile,
  kFindEntries,
  kRemoveFolder,
  kIsElevated,
  kCreatePrivateFolder,
  kOthersMayWrite,
  kIsPlainFile,
  kReadShortcut,
  kCreateShortcut,
  kReadLinkToRewrite,
  kComposeLink,
  kParsesAsLink,
  kAskTasks,  // ListTasks, IsEnabled
  kSetTaskEnabled,
};

enum class FaultKind {
  kRefused,            // the call fails as the operation says it may
  kPartlyWritten,      // WriteNewFile keeps half of the bytes and says kWritten
  kFailedAfterMaking,  // WriteNewFile makes the whole file and says kFailed
};

class FaultPlan {
 public:
  FaultPlan() = default;
  FaultPlan(Operation operation, int nth, FaultKind kind = FaultKind::kRefused)
      : operation_(operation), nth_(nth), kind_(kind) {}

  // Before the `nth` call of any operation, `change` is made to the machine
  // (a folder swapped for a link, say), as another program might make it
  // while the repair runs.
  static FaultPlan ChangingAt(int nth, std::function<void()> change) {
    FaultPlan plan;
    plan.change_at_ = nth;
    plan.change_ = std::move(change);
    return plan;
  }

  // Counts the call; true when it is the one to fail.
  bool Fails(Operation operation) {
    if (++all_calls_ == change_at_ && change_) change_();
    const int call = ++calls_[operation];
    return nth_ > 0 && operation == operation_ && call == nth_;
  }
  int all_calls() const { return all_calls_; }
  FaultKind kind() const { return kind_; }
  int calls(Operation operation) const {
    auto found = calls_.find(operation);
    return found == calls_.end() ? 0 : found->second;
  }

 private:
  Operation operation_ = Operation::kWriteRegItem;
  int nth_ = 0;  // 0: nothing fails
  FaultKind kind_ = FaultKind::kRefused;
  std::map<Operation, int> calls_;
  int all_calls_ = 0;
  int change_at_ = 0;
  std::function<void()> change_;
};

class FaultyRegistry : public Registry {
 public:
  FaultyRegistry(Registry& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}
  bool WriteRegItem(RegRoot root, const Text& full_path, const RegValue& value) override {
    return !plan_.Fails(Operation::kWriteRegItem) && inner_.WriteRegItem(root, full_path, value);
  }
  std::vector<RegView> ItemViews() override { return inner_.ItemViews(); }
  bool ReadValue(RegView view, RegRoot root, const Text& key_path, const Text& name,
                 std::optional<RegRawValue>* value) override {
    return !plan_.Fails(Operation::kReadRegistry) &&
           inner_.ReadValue(view, root, key_path, name, value);
  }
  bool ReadKeyTree(RegView view, RegRoot root, const Text& key_path,
                   std::optional<RegKeyTree>* tree) override {
    return !plan_.Fails(Operation::kReadRegistry) && inner_.ReadKeyTree(view, root, key_path, tree);
  }
  bool ReadSubkeyNames(RegView view, RegRoot root, const Text& key_path,
                       std::optional<std::vector<Text>>* names) override {
    return !plan_.Fails(Operation::kReadRegistry) &&
           inner_.ReadSubkeyNames(view, root, key_path, names);
  }
  // Not a fault site: a key said to be missing would be taken as deleted.
  bool KeyExists(RegView view, RegRoot root, const Text& key_path) override {
    return inner_.KeyExists(view, root, key_path);
  }
  bool ReadKeyTreeIfOpens(RegView view, RegRoot root, const Text& key_path,
                          std::optional<RegKeyTree>* tree) override {
    return !plan_.Fails(Operation::kReadRegistry) &&
           inner_.ReadKeyTreeIfOpens(view, root, key_path, tree);
  }
  bool WriteValue(RegView view, RegRoot root, const Text& key_path, const Text& name,
                  const RegRawValue& value) override {
    return !plan_.Fails(Operation::kWriteRegistry) &&
           inner_.WriteValue(view, root, key_path, name, value);
  }
  bool DeleteValue(RegView view, RegRoot root, const Text& key_path, const Text& name) override {
    return !plan_.Fails(Operation::kWriteRegistry) &&
           inner_.DeleteValue(view, root, key_path, name);
  }
  bool WriteKeyTree(RegView view, RegRoot root, const Text& key_path,
                    const RegKeyTree& tree) override {
    return !plan_.Fails(Operation::kWriteRegistry) &&
           inner_.WriteKeyTree(view, root, key_path, tree);
  }
  bool DeleteKeyTree(RegView view, RegRoot root, const Text& key_path) override {
    return !plan_.Fails(Operation::kWriteRegistry) && inner_.DeleteKeyTree(view, root, key_path);
  }
  bool DeleteRegItem(RegRoot root, const Text& full_path) override {
    return !plan_.Fails(Operation::kDeleteRegItem) && inner_.DeleteRegItem(root, full_path);
  }

 private:
  Registry& inner_;
  FaultPlan& plan_;
};

// Folder-tree deletion runs the shared algorithm over these faulty calls.
class FaultyFileSystem : public FileSystem {
 public:
  FaultyFileSystem(FileSystem& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}
  Text SystemSpecialFolder(SpecialFolder folder) override {
    return plan_.Fails(Operation::kGetSpecialFolder) ? Text() : inner_.SystemSpecialFolder(folder);
  }
  // Not fault sites: each answers towards the cautious side on its own.
  Text UserProfileFolder() override { return inner_.UserProfileFolder(); }
  bool UnelevatedUserMayWrite(const Text& folder) override {
    return inner_.UnelevatedUserMayWrite(folder);
  }
  bool LeadsThroughLink(const Text& path) override { return inner_.LeadsThroughLink(path); }
  HeldDelete DeleteFileHolding(const Text& path, const std::string& bytes) override {
    if (plan_.Fails(Operation::kDeleteOneFile)) return HeldDelete::kFailed;
    return inner_.DeleteFileHolding(path, bytes);
  }
  bool PathExists(const Text& path) override {
    return !plan_.Fails(Operation::kPathExists) && inner_.PathExists(path);
  }
  bool CreateFolder(const Text& path) override {
    return !plan_.Fails(Operation::kCreateFolder) && inner_.CreateFolder(path);
  }
  bool CopyOneFile(const Text& source, const Text& target) override {
    return !plan_.Fails(Operation::kCopyOneFile) && inner_.CopyOneFile(source, target);
  }
  NewFile WriteNewFile(const Text& path, const std::string& bytes) override {
    if (!plan_.Fails(Operation::kWriteNewFile)) return inner_.WriteNewFile(path, bytes);
    switch (plan_.kind()) {
      case FaultKind::kPartlyWritten: {
        const NewFile made = inner_.WriteNewFile(path, bytes.substr(0, bytes.size() / 2));
        return made == NewFile::kFailed ? NewFile::kWritten : made;
      }
      case FaultKind::kFailedAfterMaking:
        inner_.WriteNewFile(path, bytes);
        return NewFile::kFailed;
      case FaultKind::kRefused:
        break;
    }
    return NewFile::kFailed;
  }
  bool AppendToFile(const Text& path, const std::string& bytes) override {
    if (!plan_.Fails(Operation::kAppendToFile)) return inner_.AppendToFile(path, bytes);
    // A full disk takes part of it: the call must then leave none of it.
    if (plan_.kind() == FaultKind::kPartlyWritten) {
      return inner_.AppendToFile(path, bytes.substr(0, bytes.size() / 2)) && false;
    }
    return false;
  }
  std::optional<std::string> ReadWholeFile(const Text& path, std::size_t max_size) override {
    if (plan_.Fails(Operation::kReadWholeFile)) return std::nullopt;
    return inner_.ReadWholeFile(path, max_size);
  }
  Text UnpredictableToken() override {
    return plan_.Fails(Operation::kUnpredictableToken) ? Text() : inner_.UnpredictableToken();
  }
  bool DeleteOneFile(const Text& path) override {
    return !plan_.Fails(Operation::kDeleteOneFile) && inner_.DeleteOneFile(path);
  }
  bool MoveOverFile(const Text& source, const Text& target) override {
    return !plan_.Fails(Operation::kMoveOverFile) && inner_.MoveOverFile(source, target);
  }
  std::vector<FolderEntry> FindEntries(const Text& pattern) override {
    if (plan_.Fails(Operation::kFindEntries)) return {};
    return inner_.FindEntries(pattern);
  }
  bool RemoveFolder(const Text& path) override {
    return !plan_.Fails(Operation::kRemoveFolder) && inner_.RemoveFolder(path);
  }
  // Not a fault site: a link test that cannot answer must not let a walk
  // follow a link, so it is never made to "fail" towards false.
  bool IsFolderLink(const Text& path) override { return inner_.IsFolderLink(path); }
  // Each of these fails towards the cautious answer: not elevated, no
  // folder, others may write, no plain file.
  bool IsElevated() override { return !plan_.Fails(Operation::kIsElevated) && inner_.IsElevated(); }
  // Not a fault site: no answer is the cautious one.
  bool IsDomainJoined() override { return inner_.IsDomainJoined(); }
  bool IsEnrolledInDeviceManagement() override { return inner_.IsEnrolledInDeviceManagement(); }
  bool CreatePrivateFolder(const Text& path) override {
    return !plan_.Fails(Operation::kCreatePrivateFolder) && inner_.CreatePrivateFolder(path);
  }
  bool OthersMayWrite(const Text& path) override {
    return plan_.Fails(Operation::kOthersMayWrite) || inner_.OthersMayWrite(path);
  }
  bool IsPlainFile(const Text& path) override {
    return !plan_.Fails(Operation::kIsPlainFile) && inner_.IsPlainFile(path);
  }
  // Not a fault site: the clock always answers.
  bool IsHeldOpen(const Text& path) override { return inner_.IsHeldOpen(path); }
  Text LocalTimestamp() override { return inner_.LocalTimestamp(); }

 private:
  FileSystem& inner_;
  FaultPlan& plan_;
};

class FaultyShellLinks : public ShellLinks {
 public:
  FaultyShellLinks(ShellLinks& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}
  Text ReadShortcut(const Text& link_name, const ShortcutFields& fields) override {
    return plan_.Fails(Operation::kReadShortcut) ? Text() : inner_.ReadShortcut(link_name, fields);
  }
  bool CreateShortcut(const Text& link_name, const Text& target,
                      const std::optional<Text>& description, const std::optional<Text>& arguments,
                      const std::optional<Text>& working_directory) override {
    return !plan_.Fails(Operation::kCreateShortcut) &&
           inner_.CreateShortcut(link_name, target, description, arguments, working_directory);
  }
  std::optional<LinkToRewrite> ReadLinkToRewrite(const Text& link_name) override {
    if (plan_.Fails(Operation::kReadLinkToRewrite)) return std::nullopt;
    return inner_.ReadLinkToRewrite(link_name);
  }
  std::optional<std::string> ComposeLinkWithoutArguments(const LinkToRewrite& link,
                                                         const Text& description) override {
    if (plan_.Fails(Operation::kComposeLink)) return std::nullopt;
    return inner_.ComposeLinkWithoutArguments(link, description);
  }
  std::optional<std::string> ComposeLinkTo(const Text& target, const Text& working_directory,
                                           const Text& icon_location,
                                           const Text& description) override {
    if (plan_.Fails(Operation::kComposeLink)) return std::nullopt;
    return inner_.ComposeLinkTo(target, working_directory, icon_location, description);
  }
  bool ParsesAsLink(const std::string& bytes) override {
    return !plan_.Fails(Operation::kParsesAsLink) && inner_.ParsesAsLink(bytes);
  }
  // Not a fault site: the shell is told and answers nothing.
  void NotifyShellItemsChanged() override { inner_.NotifyShellItemsChanged(); }

 private:
  ShellLinks& inner_;
  FaultPlan& plan_;
};

class FaultyScheduledTasks : public ScheduledTasks {
 public:
  FaultyScheduledTasks(ScheduledTasks& inner, FaultPlan& plan) : inner_(inner), plan_(plan) {}
  TaskListing ListTasks(std::vector<ScheduledTask>* tasks) override {
    return plan_.Fails(Operation::kAskTasks) ? TaskListing::kNotConnected : inner_.ListTasks(tasks);
  }
  std::optional<bool> IsEnabled(const Text& path) override {
    if (plan_.Fails(Operation::kAskTasks)) return std::nullopt;
    return inner_.IsEnabled(path);
  }
  bool SetEnabled(const Text& path, bool enabled) override {
    return !plan_.Fails(Operation::kSetTaskEnabled) && inner_.SetEnabled(path, enabled);
  }

 private:
  ScheduledTasks& inner_;
  FaultPlan& plan_;
};
