// libFuzzer target for the portable link reader: whatever the bytes, reading
// them neither crashes nor reads outside them (AddressSanitizer), nor takes
// memory without bound (-malloc_limit_mb), and what it reads holds together.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/portable/lnk_format.h"
#include "platform/shell_link_names.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::optional<lnk::LinkData> link = lnk::ParseLink(bytes);
  if (!link) return 0;
  // The link ends inside the bytes it was read from.
  if (link->size > size) __builtin_trap();

  const lnk::Expander expand = [](const Text& text) { return text + text; };
  const Text target = lnk::ShellTarget(*link, &expand);
  const Text raw_target = lnk::ShellTarget(*link, nullptr);
  if (target.empty() != raw_target.empty()) __builtin_trap();
  (void)HotkeyText(link->hotkey);

  // What the reader made of the bytes, written again, reads again.
  const std::optional<std::string> again = lnk::SerializeLink(*link);
  if (again && !lnk::ParseLink(*again)) __builtin_trap();
  return 0;
}
