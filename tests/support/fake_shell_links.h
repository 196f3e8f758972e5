// A stand-in for the link object that keeps each link as a small text file,
// so the shortcut repair can be tested apart from the link format. A file
// that does not start with its magic line cannot be read, like a corrupt link.
#pragma once

#include <fstream>
#include <set>
#include <sstream>

#include "platform/portable/files_portable.h"
#include "platform/shell_links.h"
#include "platform/text_utf16.h"

struct FakeLink {
  Text target, raw_target, arguments, working_directory, description, icon_location;
  int hotkey = 0;

  static constexpr const char* kMagic = "FAKELINK";

  std::string Serialize() const {
    std::ostringstream out;
    out << kMagic << '\n'
        << target << '\n'
        << raw_target << '\n'
        << arguments << '\n'
        << working_directory << '\n'
        << description << '\n'
        << icon_location << '\n'
        << hotkey << '\n';
    return out.str();
  }

  static std::optional<FakeLink> Parse(const std::string& bytes) {
    std::istringstream in(bytes);
    std::string magic;
    FakeLink link;
    if (!std::getline(in, magic) || magic != kMagic) return std::nullopt;
    std::getline(in, link.target);
    std::getline(in, link.raw_target);
    std::getline(in, link.arguments);
    std::getline(in, link.working_directory);
    std::getline(in, link.description);
    std::getline(in, link.icon_location);
    std::string hotkey;
    std::getline(in, hotkey);
    link.hotkey = hotkey.empty() ? 0 : std::stoi(hotkey);
    return link;
  }
};

class FakeShellLinks : public ShellLinks {
 public:
  explicit FakeShellLinks(PortableFileSystem& files) : files_(files) {}

  Text ReadShortcut(const Text& link_name, const ShortcutFields& fields) override {
    auto host = files_.HostPath(link_name);
    if (!host) return Text();
    std::ifstream in(*host, std::ios::binary);
    if (!in) return Text();
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    auto link = FakeLink::Parse(bytes);
    if (!link) return Text();
    if (fields.target) *fields.target = link->target;
    if (fields.raw_target) {
      *fields.raw_target = link->raw_target.empty() ? link->target : link->raw_target;
    }
    if (fields.arguments) *fields.arguments = link->arguments;
    if (fields.working_directory) *fields.working_directory = link->working_directory;
    if (fields.description) *fields.description = link->description;
    if (fields.icon_location) *fields.icon_location = link->icon_location;
    if (fields.hotkey) *fields.hotkey = link->hotkey;
    if (link->target.empty() && link->arguments.empty()) return Text();
    return link->arguments.empty() ? link->target : link->target + " " + link->arguments;
  }

  bool CreateShortcut(const Text& link_name, const Text& target,
                      const std::optional<Text>& description, const std::optional<Text>& arguments,
                      const std::optional<Text>& working_directory) override {
    ++saves_;
    if (fail_saves_) return false;
    auto host = files_.HostPath(link_name);
    if (!host) return false;
    FakeLink link;
    // A target given with environment variables is kept in that form and
    // expanded as a 32-bit process on 64-bit Windows sees it.
    if (target.find('%') != Text::npos) {
      link.raw_target = target;
      link.target = ReplaceText(target, "%ProgramFiles%", "C:\\Program Files (x86)");
    } else {
      link.target = target;
    }
    link.description = description.value_or("");
    link.arguments = arguments.value_or("");
    link.working_directory = working_directory.value_or("");
    std::ofstream out(*host, std::ios::binary | std::ios::trunc);
    out << link.Serialize();
    return static_cast<bool>(out);
  }

  std::optional<LinkToRewrite> ReadLinkToRewrite(const Text& link_name) override {
    auto host = files_.HostPath(link_name);
    if (!host) return std::nullopt;
    std::ifstream in(*host, std::ios::binary);
    auto old = FakeLink::Parse(std::string((std::istreambuf_iterator<char>(in)), {}));
    if (!old || old->target.empty()) return std::nullopt;
    auto kept = Utf16LeFromText(old->raw_target.empty() ? old->target : old->raw_target);
    auto folder = Utf16LeFromText(old->working_directory);
    if (!kept || !folder) return std::nullopt;
    return LinkToRewrite{*kept, *folder, old->arguments, old->description};
  }

  std::optional<std::string> ComposeLinkWithoutArguments(const LinkToRewrite& old,
                                                         const Text& description) override {
    ++saves_;
    if (fail_saves_) return std::nullopt;
    auto target = TextFromUtf16Le(old.kept_target);
    auto folder = TextFromUtf16Le(old.working_directory);
    if (!target || !folder) return std::nullopt;
    FakeLink link;
    if (target->find('%') != Text::npos) {
      link.raw_target = *target;
      link.target = ReplaceText(*target, "%ProgramFiles%", "C:\\Program Files (x86)");
    } else {
      link.target = *target;
    }
    link.working_directory = *folder;
    link.description = description;
    return link.Serialize();
  }

  std::optional<std::string> ComposeLinkTo(const Text& target, const Text& working_directory,
                                           const Text& icon_location,
                                           const Text& description) override {
    ++saves_;
    if (fail_saves_) return std::nullopt;
    FakeLink link;
    link.target = target;
    link.working_directory = working_directory;
    link.icon_location = icon_location;
    link.description = description;
    return link.Serialize();
  }

  bool ParsesAsLink(const std::string& bytes) override {
    return FakeLink::Parse(bytes).has_value();
  }
  void NotifyShellItemsChanged() override { ++shell_notified_; }
  int shell_notified() const { return shell_notified_; }

  void fail_saves(bool fail) { fail_saves_ = fail; }
  int saves() const { return saves_; }

 private:
  PortableFileSystem& files_;
  bool fail_saves_ = false;
  int saves_ = 0;
  int shell_notified_ = 0;
};
