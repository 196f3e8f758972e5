#include "engine/rules/ie_defaults.h"

#include "engine/rules/chromium_search.h"
#include "engine/rules/start_urls.h"
#include "platform/text.h"

const char kBingScope[] = "{0633EE93-D776-472f-A0FF-E1416B8B2E3A}";
const char kBingScopeUrl[] =
    "http://www.bing.com/search?q={searchTerms}&src=IE-SearchBox&FORM=IE8SRC";

namespace {

const char* const kNames[kIeValueCount] = {"Search Page", "Default_Page_URL", "Default_Search_URL",
                                           "Local Page", "Start Page Redirect Cache"};

// Microsoft's redirects, which IE's setup writes for every version: only
// Microsoft decides where they lead.
const char* const kMicrosoftRedirects[] = {"go.microsoft.com/fwlink/", "go.microsoft.com/fwlink?",
                                           "www.microsoft.com/isapi/redir.dll?"};
// The sites those redirects and IE's own search scopes lead to, with every
// name below them: MSN (the start page, in every region), Bing and IE 6's
// and 7's search; and Wine's own start page (its ieframe.dll writes it),
// for a PC that is Wine.
const char* const kMicrosoftSites[] = {"msn.com", "msn.cn", "bing.com", "search.live.com",
                                       "winehq.org"};
// IE's own pages inside its DLLs (the blank tab, Enhanced Security's pages).
const char* const kIeResources[] = {"ieframe.dll/", "iesetup.dll/", "shdoclc.dll/", "mshtml.dll/"};

// ASCII letters compared regardless of case, without a copy of either.
bool StartsWithIgnoringCase(std::string_view text, std::string_view start) {
  if (text.size() < start.size()) return false;
  for (std::size_t at = 0; at < start.size(); ++at) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(text[at]) != lower(start[at])) return false;
  }
  return true;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

bool IsMicrosoftPage(std::string_view page) {
  const std::string normal = NormalizedStartPage(page);
  std::string_view rest = normal;
  if (StartsWithIgnoringCase(rest, "https://")) {
    rest.remove_prefix(8);
  } else if (StartsWithIgnoringCase(rest, "http://")) {
    rest.remove_prefix(7);
  } else {
    return false;
  }
  for (const char* redirect : kMicrosoftRedirects) {
    if (StartsWithIgnoringCase(rest, redirect)) return true;
  }
  const std::string host = HostOfPage(normal);
  for (const char* site : kMicrosoftSites) {
    const std::string_view name = site;
    if (host == name || (host.size() > name.size() && host[host.size() - name.size() - 1] == '.' &&
                         std::string_view(host).substr(host.size() - name.size()) == name)) {
      return true;
    }
  }
  return false;
}

bool IsIeOwnPage(std::string_view page) {
  if (StartsWithIgnoringCase(page, "about:")) return true;
  if (!StartsWithIgnoringCase(page, "res://")) return false;
  for (const char* resource : kIeResources) {
    if (StartsWithIgnoringCase(page.substr(6), resource)) return true;
  }
  return false;
}

// Windows' blank.htm: in System32 (SysWOW64 for 32-bit IE on 64-bit
// Windows), written with %SystemRoot% or %windir%, the setup INF's %11%,
// or the Windows folder itself.
bool IsWindowsBlankPage(std::string_view path, std::string_view windows_folder) {
  if (SameIgnoringCase(path, "%11%\\blank.htm")) return true;
  for (const std::string_view folder :
       {std::string_view("%SystemRoot%"), std::string_view("%windir%"), windows_folder}) {
    if (folder.empty() || !StartsWithIgnoringCase(path, folder)) continue;
    const std::string_view file = path.substr(folder.size());
    if (SameIgnoringCase(file, "\\System32\\blank.htm") ||
        SameIgnoringCase(file, "\\SysWOW64\\blank.htm")) {
      return true;
    }
  }
  return false;
}

}  // namespace

const char* IeValueName(IeValue value) { return kNames[static_cast<int>(value)]; }

bool IsHijackedIeValue(IeValue value, std::string_view text, std::string_view user_address,
                       std::string_view windows_folder) {
  if (IsIeOwnPage(text) || !IsHijackedStartPage(text, user_address)) return false;
  if (value == IeValue::kLocalPage) return !IsWindowsBlankPage(text, windows_folder);
  // A search page of an engine the browsers ship is the user's choice (Wine
  // itself writes Google's).
  const bool search = value == IeValue::kSearchPage || value == IeValue::kDefaultSearchUrl;
  return !IsMicrosoftPage(text) && (!search || IsHijackedSearchUrl(text, user_address));
}

std::string WindowsIeValue(IeValue value, bool expandable, bool wow_folder,
                           std::string_view windows_folder) {
  switch (value) {
    case IeValue::kSearchPage:
    case IeValue::kDefaultSearchUrl:
      return "http://go.microsoft.com/fwlink/?LinkId=54896";
    case IeValue::kLocalPage:
      return std::string(expandable ? std::string_view("%SystemRoot%") : windows_folder) +
             (wow_folder ? "\\SysWOW64\\blank.htm" : "\\System32\\blank.htm");
    default:
      // Default_Page_URL and the start page's redirect cache: IE 10's and
      // 11's start page, which leads to MSN of the PC's region.
      return "http://go.microsoft.com/fwlink/p/?LinkId=255141";
  }
}
