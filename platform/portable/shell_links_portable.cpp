#include "platform/portable/shell_links_portable.h"

Text PortableShellLinks::ReadShortcut(const Text&, const ShortcutFields&) { return Text(); }

bool PortableShellLinks::CreateShortcut(const Text&, const Text&, const std::optional<Text>&,
                                        const std::optional<Text>&, const std::optional<Text>&) {
  return false;
}
