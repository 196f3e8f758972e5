// Start pages compared as the browsers would open them.
#pragma once

#include <string>
#include <string_view>

// The address with its scheme and host in lower case, "http://" before an
// address that names no scheme (as the browsers complete one typed without
// it) and one trailing slash taken off: two addresses that open the same
// page compare equal.
std::string NormalizedStartPage(std::string_view address);

// A browser's own blank or new-tab page, which no hijacker's setting is:
// "about:blank", Chromium's "chrome://newtab/" and "chrome://new-tab-page/",
// Edge's "edge://newtab/", Firefox's "about:newtab", "about:home" and the
// page its "Blank Page" choice writes, "chrome://browser/content/blanktab.html"
// (docs/browser-profiles.md, docs/firefox-profiles.md).
bool IsBrowserOwnPage(std::string_view address);

// The host a page's address names, in lower case, without user name, port
// or an IPv6 address's brackets: "hao.evil.cn", "1.2.3.4", "::1".
std::string HostOfPage(std::string_view address);

// True when `host` (as HostOfPage gives it) is this PC or the local
// network: "localhost" and names below it, a loopback, link-local, private
// or shared address (127/8, 0/8, 10/8, 100.64/10, 169.254/16, 172.16/12,
// 192.168/16, ::1, fe80::/10, fc00::/7). An address is read only in the
// plain dotted form the browsers read the same way: "010.1.2.3" is no
// private address (a browser reads it as octal).
bool IsLocalHost(std::string_view host);

// True when `page` (UTF-8) is neither the user's address (UTF-8) nor a
// browser's own page, nor on this PC or its network, nor empty.
bool IsHijackedStartPage(std::string_view page, std::string_view user_address);
