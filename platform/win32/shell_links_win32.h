// Shell link operations through the Windows shell's link object.
#pragma once

#include "platform/shell_links.h"

class Win32ShellLinks : public ShellLinks {
 public:
  Text ReadShortcut(const Text& link_name, const ShortcutFields& fields = {}) override;
  std::optional<LinkToRewrite> ReadLinkToRewrite(const Text& link_name) override;
  std::optional<std::string> ComposeLinkWithoutArguments(const LinkToRewrite& link,
                                                         const Text& description) override;
  std::optional<std::string> ComposeLinkTo(const Text& target, const Text& working_directory,
                                           const Text& icon_location,
                                           const Text& description) override;
  bool ParsesAsLink(const std::string& bytes) override;
  void NotifyShellItemsChanged() override;
};

// With CreateShortcut, for the tests and tools that make links through the
// shell. Apart so that the programs, which never call it, do not carry it
// in their vtable (420 bytes, bench/size.sh).
class Win32ShellLinksWithCreate : public Win32ShellLinks {
 public:
  bool CreateShortcut(const Text& link_name, const Text& target,
                      const std::optional<Text>& description = std::nullopt,
                      const std::optional<Text>& arguments = std::nullopt,
                      const std::optional<Text>& working_directory = std::nullopt) override;
};
