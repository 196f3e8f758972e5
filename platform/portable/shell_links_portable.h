// Shell link operations over our own reader and writer of the link format.
#pragma once

#include <optional>
#include <string>

#include "platform/portable/files_portable.h"
#include "platform/shell_links.h"

class PortableShellLinks : public ShellLinks {
 public:
  explicit PortableShellLinks(PortableFileSystem& files) : files_(files) {}

  Text ReadShortcut(const Text& link_name, const ShortcutFields& fields = {}) override;
  bool CreateShortcut(const Text& link_name, const Text& target,
                      const std::optional<Text>& description = std::nullopt,
                      const std::optional<Text>& arguments = std::nullopt,
                      const std::optional<Text>& working_directory = std::nullopt) override;
  std::optional<LinkToRewrite> ReadLinkToRewrite(const Text& link_name) override;
  std::optional<std::string> ComposeLinkWithoutArguments(const LinkToRewrite& link,
                                                         const Text& description) override;
  std::optional<std::string> ComposeLinkTo(const Text& target, const Text& working_directory,
                                           const Text& icon_location,
                                           const Text& description) override;
  bool ParsesAsLink(const std::string& bytes) override;
  // There is no shell: the calls are counted, for the tests.
  void NotifyShellItemsChanged() override { ++shell_notified_; }
  int shell_notified() const { return shell_notified_; }

 private:
  // The file the link object would save for these fields.
  std::optional<std::string> ComposeLink(const Text& target, const std::optional<Text>& description,
                                         const std::optional<Text>& arguments,
                                         const std::optional<Text>& working_directory);

  PortableFileSystem& files_;
  int shell_notified_ = 0;
};

// The bytes of the regular file at `host_path` when it holds at most
// lnk::kMaxLinkFileSize bytes; nullopt otherwise or when it cannot be read.
std::optional<std::string> ReadLinkFile(const std::string& host_path);
