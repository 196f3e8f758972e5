#include "platform/text_utf16.h"
#include "platform/win32/ansi_text.h"

std::optional<std::string> Utf16LeFromText(const Text& text) {
  const std::wstring wide = WideFromAnsi(text);
  // A byte that starts no character converts to a stand-in: only a text
  // that comes back whole was converted exactly.
  if (ExactAnsiFromWide(wide) != text) return std::nullopt;
  std::string bytes;
  bytes.reserve(wide.size() * 2);
  for (wchar_t unit : wide) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
  }
  return bytes;
}

std::optional<Text> TextFromUtf16Le(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::wstring wide(bytes.size() / 2, L'\0');
  for (std::size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return ExactAnsiFromWide(wide);
}
