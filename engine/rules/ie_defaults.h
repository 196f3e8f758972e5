// Internet Explorer's own values for its other pages and its search box:
// which values of the Main key and of SearchScopes are Windows' own (or the
// user's), and what the repair sets back (docs/internet-explorer.md).
#pragma once

#include <string>
#include <string_view>

// The values of Software\Microsoft\Internet Explorer\Main judged here.
enum class IeValue { kSearchPage, kDefaultPageUrl, kDefaultSearchUrl, kLocalPage, kRedirectCache };
inline constexpr int kIeValueCount = 5;
// Its name in the Main key.
const char* IeValueName(IeValue value);

// Windows' own Bing search scope (IE 7's Live Search, IE 8 and later's
// Bing) and the address Windows gives it.
extern const char kBingScope[];
extern const char kBingScopeUrl[];

// True when `value` (UTF-8) names a page other than Windows' own for it, the
// user's address (UTF-8), IE's own pages (about:, res:// of IE's DLLs), a
// page on this PC or its network, or, for a search page, a search engine
// the browsers ship; empty is no page. `windows_folder` (UTF-8)
// is where "Local Page"'s blank.htm lies.
bool IsHijackedIeValue(IeValue value, std::string_view text, std::string_view user_address,
                       std::string_view windows_folder);

// What the repair sets the value back to (UTF-8). "Local Page" keeps its
// form: `expandable` gives "%SystemRoot%\...", else `windows_folder`'s path;
// `wow_folder`: the 32-bit view of a 64-bit Windows, whose blank.htm is in
// SysWOW64.
std::string WindowsIeValue(IeValue value, bool expandable, bool wow_folder,
                           std::string_view windows_folder);
