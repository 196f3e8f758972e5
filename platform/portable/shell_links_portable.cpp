#include "platform/portable/shell_links_portable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/portable/cp936.h"
#include "platform/portable/lnk_format.h"
#include "platform/shell_link_names.h"
#include "platform/text_utf16.h"

namespace {

// The shell's text buffers the fields are read through, in bytes with the
// terminator.
constexpr std::size_t kFieldBuffer = 1024;
// The longest link file name, in UTF-16 units with the terminator (MAX_PATH).
constexpr std::size_t kMaxPath = 260;

constexpr std::uint32_t kShowMinimized = 2;    // SW_SHOWMINIMIZED
constexpr std::uint32_t kShowShow = 5;         // SW_SHOW
constexpr std::uint32_t kShowMinNoActive = 7;  // SW_SHOWMINNOACTIVE

// `text` as a field buffer holds it: at most 1023 bytes and a terminator,
// never half of a double-byte character.
Text InFieldBuffer(const Text& text) {
  if (text.size() < kFieldBuffer) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    const std::size_t step = IsLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
    if (end + step > kFieldBuffer - 1) break;
    end += step;
  }
  return text.substr(0, end);
}

// A completed name longer than MAX_PATH is refused, not cut: a cut name
// would read or write some other file.
bool FitsMaxPath(const Text& name) { return Utf16Length(name) < kMaxPath; }

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) close(fd);
  }
};

bool WriteAll(int fd, const std::string& bytes) {
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Puts `bytes` at `host_path` in one step: they go to a new file beside it,
// which then takes the name. Readers see the old link or the new one, never
// half of one; on failure the old one is still there. A read-only link is
// not replaced, as Windows refuses to open one for writing.
bool WriteReplacing(const std::string& host_path, const std::string& bytes) {
  struct stat existing;
  if (lstat(host_path.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) return false;
    if (S_ISREG(existing.st_mode) && !(existing.st_mode & S_IWUSR)) return false;
  }
  // A short hidden name in the same folder, so that the rename stays on one
  // file system and a long link name does not make it too long.
  const std::string folder = host_path.substr(0, host_path.rfind('/') + 1);
  static std::atomic<unsigned> serial{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + ".lnk-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes) && fsync(fd) == 0;
  const bool closed = close(fd) == 0;
  if (!written || !closed || rename(temp.c_str(), host_path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadLinkFile(const std::string& host_path) {
  return ReadHostFile(host_path, lnk::kMaxLinkFileSize);
}

Text PortableShellLinks::ReadShortcut(const Text& link_name, const ShortcutFields& fields) {
  const Text name = CompleteLinkNameForRead(link_name);
  if (!FitsMaxPath(name)) return Text();
  const std::optional<std::string> host_path = files_.HostPath(name);
  if (!host_path) return Text();
  const std::optional<std::string> bytes = ReadLinkFile(*host_path);
  if (!bytes) return Text();
  const std::optional<lnk::LinkData> link = lnk::ParseLink(*bytes);
  if (!link) return Text();

  const lnk::Expander expand = [this](const Text& text) { return files_.ExpandEnvironment(text); };
  const Text target = InFieldBuffer(lnk::ShellTarget(*link, &expand));
  const Text arguments = InFieldBuffer(link->arguments.value_or(Text()));
  if (fields.target) *fields.target = target;
  if (fields.raw_target) *fields.raw_target = InFieldBuffer(lnk::ShellTarget(*link, nullptr));
  if (fields.arguments) *fields.arguments = arguments;
  if (fields.working_directory) {
    *fields.working_directory = InFieldBuffer(link->working_dir.value_or(Text()));
  }
  if (fields.icon_location) {
    *fields.icon_location = InFieldBuffer(link->icon_location.value_or(Text())) + "," +
                            std::to_string(link->icon_index);
  }
  if (fields.show_command) {
    *fields.show_command = static_cast<int>(
        link->show_command == kShowMinNoActive ? kShowMinimized : link->show_command);
  }
  if (fields.hotkey) *fields.hotkey = link->hotkey;
  if (fields.hotkey_text) *fields.hotkey_text = HotkeyText(link->hotkey);
  if (fields.description) *fields.description = InFieldBuffer(link->name.value_or(Text()));
  return arguments.empty() ? target : target + " " + arguments;
}

std::optional<std::string> PortableShellLinks::ComposeLink(
    const Text& target, const std::optional<Text>& description,
    const std::optional<Text>& arguments, const std::optional<Text>& working_directory) {
  lnk::LinkData link;
  link.show_command = kShowShow;
  // As the shell does, a target with %VAR% forms is stored expanded, and as
  // given in an environment block that the shell prefers when reading.
  const Text expanded = files_.ExpandEnvironment(target);
  if (expanded != target) link.env_target = lnk::EnvironmentTarget{target, target};
  if (!expanded.empty()) link.link_info = lnk::LinkInfo{expanded, std::nullopt, Text()};
  link.name = description;
  link.arguments = arguments;
  link.working_dir = working_directory;
  return lnk::SerializeLink(link);
}

bool PortableShellLinks::CreateShortcut(const Text& link_name, const Text& target,
                                        const std::optional<Text>& description,
                                        const std::optional<Text>& arguments,
                                        const std::optional<Text>& working_directory) {
  const Text name = CompleteLinkNameForCreate(link_name);
  if (!FitsMaxPath(name)) return false;
  const std::optional<std::string> host_path = files_.HostPath(name);
  if (!host_path) return false;
  const std::optional<std::string> bytes =
      ComposeLink(target, description, arguments, working_directory);
  return bytes && WriteReplacing(*host_path, *bytes);
}

std::optional<LinkToRewrite> PortableShellLinks::ReadLinkToRewrite(const Text& link_name) {
  Text target, raw_target, working_directory, arguments, description;
  ShortcutFields fields;
  fields.description = &description;
  fields.target = &target;
  fields.raw_target = &raw_target;
  fields.working_directory = &working_directory;
  fields.arguments = &arguments;
  ReadShortcut(link_name, fields);
  const Text& kept = raw_target.empty() ? target : raw_target;
  // A '?' is in no path: it stands for a character the code page lacks.
  if (kept.empty() || !FitsMaxPath(files_.ExpandEnvironment(kept)) ||
      kept.find_first_of("?*") != Text::npos ||
      working_directory.find_first_of("?*") != Text::npos) {
    return std::nullopt;
  }
  std::optional<std::string> kept_bytes = Utf16LeFromText(kept);
  std::optional<std::string> folder_bytes = Utf16LeFromText(working_directory);
  if (!kept_bytes || !folder_bytes) return std::nullopt;
  return LinkToRewrite{std::move(*kept_bytes), std::move(*folder_bytes), arguments, description};
}

std::optional<std::string> PortableShellLinks::ComposeLinkWithoutArguments(
    const LinkToRewrite& link, const Text& description) {
  const std::optional<Text> target = TextFromUtf16Le(link.kept_target);
  const std::optional<Text> working_directory = TextFromUtf16Le(link.working_directory);
  if (!target || !working_directory) return std::nullopt;
  return ComposeLink(*target, description, std::nullopt, *working_directory);
}

std::optional<std::string> PortableShellLinks::ComposeLinkTo(const Text& target,
                                                             const Text& working_directory,
                                                             const Text& icon_location,
                                                             const Text& description) {
  if (!FitsMaxPath(target)) return std::nullopt;
  lnk::LinkData link;
  link.show_command = kShowShow;
  link.link_info = lnk::LinkInfo{target, std::nullopt, Text()};
  link.name = description;
  link.working_dir = working_directory;
  const std::size_t comma = icon_location.rfind(',');
  if (comma != Text::npos && comma > 0) {
    link.icon_location = icon_location.substr(0, comma);
    link.icon_index = std::atoi(icon_location.c_str() + comma + 1);
  }
  return lnk::SerializeLink(link);
}

bool PortableShellLinks::ParsesAsLink(const std::string& bytes) {
  return lnk::ParseLink(bytes).has_value();
}
