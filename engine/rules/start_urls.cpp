#include "engine/rules/start_urls.h"

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

bool IsBrowserOwnPage(std::string_view address) {
  const std::string page = NormalizedStartPage(address);
  for (const char* own :
       {"about:blank", "chrome://newtab", "chrome://new-tab-page", "edge://newtab", "about:newtab",
        "about:home", "chrome://browser/content/blanktab.html"}) {
    if (page == own) return true;
  }
  return false;
}

std::string HostOfPage(std::string_view address) {
  const std::string page = NormalizedStartPage(address);
  const std::size_t slashes = page.find("://");
  if (slashes == std::string::npos) return std::string();
  // The browsers end the authority at a backslash too, and take the host
  // after the last '@' ("http://10.0.0.1@evil.cn/" is evil.cn).
  std::string authority = page.substr(slashes + 3);
  authority = authority.substr(0, authority.find_first_of("/\\?#"));
  const std::size_t at = authority.rfind('@');
  if (at != std::string::npos) authority = authority.substr(at + 1);
  if (!authority.empty() && authority[0] == '[') {
    const std::size_t close = authority.find(']');
    return close == std::string::npos ? std::string() : authority.substr(1, close - 1);
  }
  return authority.substr(0, authority.find(':'));
}

namespace {

// The four numbers of a plain dotted IPv4 address: decimal, no leading
// zero, each at most 255.
bool DottedAddress(std::string_view host, unsigned (&parts)[4]) {
  for (int i = 0; i < 4; ++i) {
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < host.size() && host[digits] >= '0' && host[digits] <= '9' && digits < 3) {
      value = value * 10 + static_cast<unsigned>(host[digits] - '0');
      ++digits;
    }
    if (digits == 0 || value > 255 || (digits > 1 && host[0] == '0')) return false;
    parts[i] = value;
    host.remove_prefix(digits);
    if (i < 3) {
      if (host.empty() || host[0] != '.') return false;
      host.remove_prefix(1);
    }
  }
  return host.empty();
}

// The first 16 bits of an IPv6 address, or -1 when it does not start with
// a group.
long FirstIpv6Group(std::string_view host) {
  long value = 0;
  std::size_t digits = 0;
  for (; digits < host.size() && digits < 4; ++digits) {
    const char c = host[digits];
    const int nibble = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (nibble < 0) break;
    value = value * 16 + nibble;
  }
  return digits > 0 && digits < host.size() && host[digits] == ':' ? value : -1;
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

}  // namespace

bool IsLocalHost(std::string_view host) {
  if (host == "localhost" || EndsWith(host, ".localhost")) return true;
  unsigned ip[4];
  if (DottedAddress(host, ip)) {
    return ip[0] == 127 || ip[0] == 0 || ip[0] == 10 || (ip[0] == 100 && (ip[1] & 0xC0) == 64) ||
           (ip[0] == 169 && ip[1] == 254) || (ip[0] == 172 && (ip[1] & 0xF0) == 16) ||
           (ip[0] == 192 && ip[1] == 168);
  }
  if (host == "::1") return true;
  const long group = FirstIpv6Group(host);
  return group >= 0 && ((group & 0xFFC0) == 0xFE80 || (group & 0xFE00) == 0xFC00);
}

bool IsHijackedStartPage(std::string_view page, std::string_view user_address) {
  if (TrimSpaces(page).empty() || IsBrowserOwnPage(page) || IsLocalHost(HostOfPage(page))) {
    return false;
  }
  return NormalizedStartPage(page) != NormalizedStartPage(user_address);
}
