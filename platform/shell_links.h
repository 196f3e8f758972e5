// Shell link (.lnk) operations.
#pragma once

#include <optional>
#include <string>

#include "platform/text.h"

// The caller's variables that ReadShortcut fills; a null one is not asked for.
struct ShortcutFields {
  Text* target = nullptr;  // as the shell reports it
  // The target as the link stores it: a target kept in %VAR% form comes back
  // unexpanded (IShellLinkA::GetPath with SLGP_RAWPATH); any other target
  // comes back as `target` does.
  Text* raw_target = nullptr;
  Text* arguments = nullptr;
  Text* working_directory = nullptr;
  Text* icon_location = nullptr;  // "path,index"
  int* show_command = nullptr;    // 7 (minimised, not active) is reported as 2
  int* hotkey = nullptr;          // low byte the key, high byte the modifiers
  Text* hotkey_text = nullptr;    // "Ctrl + Alt + B"
  Text* description = nullptr;
};

// What a rewrite without arguments carries from the old link to the new:
// the target as the link keeps it (its %VAR% form where it has one) and its
// working folder, both as UTF-16LE bytes so that no character is lost to the
// code page; and the arguments it drops, as the code page shows them.
struct LinkToRewrite {
  std::string kept_target;        // UTF-16LE
  std::string working_directory;  // UTF-16LE
  Text arguments;
  Text description;  // read with the rest, so a plan knows a link it rewrote before
};

// The calling thread must hold a ScopedComInitializer (platform/com_scope.h).
class ShellLinks {
 public:
  virtual ~ShellLinks() = default;

  // The link's target followed, when it has arguments, by one space and the
  // arguments. An empty text when the link cannot be read; `fields` are then
  // left untouched. ".lnk" is appended unless the name holds it in any case.
  // A name that does not fit MAX_PATH once completed is not read.
  virtual Text ReadShortcut(const Text& link_name, const ShortcutFields& fields = {}) = 0;

  // Writes the link anew with show command SW_SHOW. A field left out is not
  // written; a given empty one is written empty. A target holding %VAR% forms
  // is stored expanded and, for raw_target, as given. ".lnk" is appended when
  // the name holds no dot at all. True when the link was saved; false, and
  // nothing saved, when the completed name or the target does not fit MAX_PATH
  // or the link object refuses a field. The programs never make a link this
  // way (a repair composes a link's bytes and writes them through
  // FileSystem): their Windows backend does not implement it and says false;
  // the tests and tools that seed links use Win32ShellLinksWithCreate.
  virtual bool CreateShortcut(
      [[maybe_unused]] const Text& link_name, [[maybe_unused]] const Text& target,
      [[maybe_unused]] const std::optional<Text>& description = std::nullopt,
      [[maybe_unused]] const std::optional<Text>& arguments = std::nullopt,
      [[maybe_unused]] const std::optional<Text>& working_directory = std::nullopt) {
    return false;
  }

  // What a rewrite without arguments takes from the link `link_name`, read
  // once. Nullopt when the link cannot be read, when the link object gives
  // no target path for it, when the target does not fit MAX_PATH, or when
  // the target or working folder holds a '?' or '*' (a character the link
  // object could not give back, which written back would be lost).
  virtual std::optional<LinkToRewrite> ReadLinkToRewrite(const Text& link_name) = 0;

  // The bytes of a new link, as the link object saves one, with the target
  // and working folder of `link`, `description`, no arguments and show
  // command SW_SHOW. Nullopt when the link object refuses a field.
  virtual std::optional<std::string> ComposeLinkWithoutArguments(const LinkToRewrite& link,
                                                                 const Text& description) = 0;

  // The bytes of a new link to `target` with no arguments, working in
  // `working_directory`, with `icon_location` ("path,index"; empty for the
  // target's own icon), `description` and show command SW_SHOW. Nullopt when
  // a field does not fit or the link object refuses one.
  virtual std::optional<std::string> ComposeLinkTo(const Text& target,
                                                   const Text& working_directory,
                                                   const Text& icon_location,
                                                   const Text& description) = 0;

  // True when the link object loads `bytes` as a link.
  virtual bool ParsesAsLink(const std::string& bytes) = 0;

  // Tells the shell that items it shows (the desktop's namespace items and
  // their classes) changed, so it draws them afresh.
  virtual void NotifyShellItemsChanged() = 0;
};
