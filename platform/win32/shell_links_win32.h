// Shell link operations through the Windows shell's link object.
#pragma once

#include "platform/shell_links.h"

class Win32ShellLinks : public ShellLinks {
 public:
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
  void NotifyShellItemsChanged() override;
};
