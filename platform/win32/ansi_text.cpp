#include "platform/win32/ansi_text.h"

#include <windows.h>

std::wstring WideFromAnsi(const Text& text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], length);
  return wide;
}

std::optional<Text> ExactAnsiFromWide(std::wstring_view wide) {
  if (wide.empty()) return Text();
  const int size = static_cast<int>(wide.size());
  BOOL used_default = FALSE;
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr,
                                         0, nullptr, &used_default);
  if (length <= 0 || used_default) return std::nullopt;
  Text text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, &text[0], length, nullptr,
                      &used_default);
  // The way back must give the same characters: anything else was mapped.
  if (used_default || WideFromAnsi(text) != wide) return std::nullopt;
  return text;
}

Text AnsiFromWideMarked(std::wstring_view wide) {
  if (std::optional<Text> exact = ExactAnsiFromWide(wide)) return *exact;
  Text marked;
  // One character at a time, so that only the ones the code page lacks become '?'.
  for (std::size_t at = 0; at < wide.size(); ++at) {
    std::size_t units = 1;
    if (wide[at] >= 0xD800 && wide[at] <= 0xDBFF && at + 1 < wide.size()) units = 2;
    const std::optional<Text> one = ExactAnsiFromWide(wide.substr(at, units));
    marked += one ? *one : Text("?");
    at += units - 1;
  }
  return marked;
}

Text TextShownFromUtf16Le(std::string_view units) {
  std::wstring wide;
  for (std::size_t at = 0; at + 1 < units.size(); at += 2) {
    const wchar_t unit = static_cast<wchar_t>(static_cast<unsigned char>(units[at]) |
                                              static_cast<unsigned char>(units[at + 1]) << 8);
    if (unit == 0) break;
    // A control character (a line break planted to fake a line) shows as '?'.
    wide += unit < 0x20 || unit == 0x7F ? L'?' : unit;
  }
  return AnsiFromWideMarked(wide);
}
