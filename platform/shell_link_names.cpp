#include "platform/shell_link_names.h"

namespace {

const char kLinkExtension[] = ".lnk";

// A text ends at its first zero byte, whatever the string holds after it.
Text UpToZero(const Text& text) { return Text(text.c_str()); }

// ASCII letters lowered; the second byte of a double-byte character is kept.
Text LowerAscii(const Text& text) {
  Text lowered = text;
  for (size_t i = 0; i < lowered.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(lowered[i]);
    if (IsLeadByte(byte)) {
      ++i;
    } else if (byte >= 'A' && byte <= 'Z') {
      lowered[i] = static_cast<char>(byte - 'A' + 'a');
    }
  }
  return lowered;
}

}  // namespace

Text CompleteLinkNameForRead(const Text& link_name) {
  const Text name = UpToZero(link_name);
  if (LowerAscii(name).find(kLinkExtension) != Text::npos) return name;
  return name + kLinkExtension;
}

Text CompleteLinkNameForCreate(const Text& link_name) {
  const Text name = UpToZero(link_name);
  if (name.find('.') != Text::npos) return name;
  return name + kLinkExtension;
}

Text HotkeyText(std::uint16_t hotkey) {
  // The modifier bits of the hotkey word's high byte.
  const unsigned kShift = 0x01, kControl = 0x02, kAlt = 0x04, kExt = 0x08;
  if (hotkey == 0) return Text();
  const unsigned modifiers = hotkey >> 8;
  Text text;
  if (modifiers & kControl) text += "Ctrl + ";
  if (modifiers & kShift) text += "Shift + ";
  if (modifiers & kAlt) text += "Alt + ";
  if (modifiers & kExt) text += "Ext + ";
  // A text ends at a zero byte: a hotkey of modifiers alone gives no key.
  const char key = static_cast<char>(hotkey & 0xFF);
  if (key != '\0') text += key;
  return text;
}
