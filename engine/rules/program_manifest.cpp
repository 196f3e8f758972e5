#include "engine/rules/program_manifest.h"

#include <string_view>

namespace {

// The run levels the window program's manifest may ask for, each replaced
// by asInvoker and spaces to the same length (XML allows spaces there).
constexpr std::string_view kAsked[] = {R"(level="highestAvailable")",
                                       R"(level="requireAdministrator")"};
constexpr std::string_view kAsInvoker = R"(level="asInvoker")";

// The manifest's text: from "<assembly " to the end of "</assembly>", no
// NUL in between. The program's own strings (this file's among them) are
// NUL-terminated apart from one another, so none of them reads as one.
struct Span {
  std::size_t begin, end;
};

}  // namespace

std::optional<std::string> RunAsInvokerCopy(const std::string& program) {
  if (program.size() < 2 || program.compare(0, 2, "MZ") != 0) return std::nullopt;
  constexpr std::string_view kOpen = "<assembly ", kClose = "</assembly>";
  std::optional<Span> manifest;
  std::size_t level_at = std::string::npos, level_size = 0;
  for (std::size_t at = program.find(kOpen); at != std::string::npos;
       at = program.find(kOpen, at + 1)) {
    const std::size_t close = program.find(kClose, at);
    if (close == std::string::npos) break;
    const std::string_view text(program.data() + at, close + kClose.size() - at);
    if (text.find('\0') != std::string_view::npos) continue;
    if (manifest) return std::nullopt;  // two manifests: which one Windows reads is unknown
    manifest = Span{at, close + kClose.size()};
    for (std::string_view asked : kAsked) {
      for (std::size_t found = text.find(asked); found != std::string_view::npos;
           found = text.find(asked, found + 1)) {
        if (level_at != std::string::npos) return std::nullopt;
        level_at = at + found;
        level_size = asked.size();
      }
    }
  }
  if (!manifest || level_at == std::string::npos) return std::nullopt;
  std::string copy = program;
  copy.replace(level_at, level_size,
               std::string(kAsInvoker) + std::string(level_size - kAsInvoker.size(), ' '));
  return copy;
}
