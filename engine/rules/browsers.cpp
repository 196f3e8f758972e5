#include "engine/rules/browsers.h"

#include <iterator>

#include "platform/shell_link_names.h"

namespace {

const Browser kKnownBrowsers[] = {
    {"iexplore.exe",
     BrowserFamily::kInternetExplorer,
     {"Internet Explorer", "Internet Explorer (64-bit)"}},
    {"chrome.exe", BrowserFamily::kChromium, {"Google Chrome", "谷歌浏览器", "Chromium"}},
    {"msedge.exe", BrowserFamily::kChromium, {"Microsoft Edge"}},
    {"firefox.exe",
     BrowserFamily::kFirefox,
     {"Firefox", "Mozilla Firefox", "火狐浏览器", "Firefox 火狐浏览器"}},
    {"360se.exe", BrowserFamily::kChromium, {"360安全浏览器"}},
    {"360chrome.exe", BrowserFamily::kChromium, {"360极速浏览器"}},
    {"360ChromeX.exe", BrowserFamily::kChromium, {"360极速浏览器X"}},
    {"QQBrowser.exe", BrowserFamily::kChromium, {"QQ浏览器"}},
    {"SogouExplorer.exe", BrowserFamily::kChromium, {"搜狗高速浏览器", "搜狗浏览器"}},
    {"2345Explorer.exe", BrowserFamily::kChromium, {"2345加速浏览器", "2345浏览器"}},
    {"liebao.exe", BrowserFamily::kChromium, {"猎豹安全浏览器", "猎豹浏览器"}},
};

}  // namespace

BrowserTable KnownBrowsers() { return {std::begin(kKnownBrowsers), std::end(kKnownBrowsers)}; }

Text FileNameOfPath(const Text& path) {
  // A second byte of 0x5C is no backslash: step over whole characters.
  std::size_t start = 0;
  for (std::size_t at = 0; at < path.size(); ++at) {
    const auto byte = static_cast<unsigned char>(path[at]);
    if (IsLeadByte(byte)) {
      ++at;
    } else if (byte == '\\' || byte == '/') {
      start = at + 1;
    }
  }
  return path.substr(start);
}

const Browser* BrowserOfExecutable(const Text& executable_name) {
  for (const Browser& browser : KnownBrowsers()) {
    if (SameIgnoringAsciiCase(executable_name, browser.executable)) return &browser;
  }
  return nullptr;
}

const Browser* BrowserOfShortcutName(const Text& link_name) {
  Text stem = link_name;
  if (stem.size() > 4 && SameIgnoringAsciiCase(stem.substr(stem.size() - 4), ".lnk")) {
    stem.resize(stem.size() - 4);
  }
  for (const Browser& browser : KnownBrowsers()) {
    for (const char* name : browser.shortcut_names) {
      if (name && SameIgnoringAsciiCase(stem, name)) return &browser;
    }
  }
  return nullptr;
}
