#include "engine/start_urls.h"

namespace {

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string NormalizedStartPage(std::string_view address) {
  address = TrimSpaces(address);
  std::string page;
  std::size_t scheme_end = address.find(':');
  const bool has_scheme = scheme_end != std::string_view::npos && scheme_end > 0 &&
                          address.find_first_of("/?#.") > scheme_end;
  if (!has_scheme) {
    page = "http://";
    scheme_end = 4;
  }
  page.append(address);
  // Scheme, and the host up to its path, query or fragment, in lower case.
  std::size_t host_end = page.size();
  std::size_t at = scheme_end + 1;
  if (page.compare(at, 2, "//") == 0) {
    at += 2;
    host_end = page.find_first_of("/?#", at);
    if (host_end == std::string::npos) host_end = page.size();
  } else {
    host_end = at;
  }
  for (std::size_t i = 0; i < host_end; ++i) page[i] = LowerAscii(page[i]);
  if (page.size() > host_end && page.back() == '/') page.pop_back();
  return page;
}

bool IsBrowserNewTabPage(std::string_view address) {
  const std::string page = NormalizedStartPage(address);
  for (const char* own : {"chrome://newtab", "edge://newtab", "about:newtab", "about:home"}) {
    if (page == own) return true;
  }
  return false;
}

bool IsHijackedStartPage(std::string_view page, std::string_view user_address) {
  if (TrimSpaces(page).empty() || IsBrowserNewTabPage(page)) return false;
  return NormalizedStartPage(page) != NormalizedStartPage(user_address);
}
