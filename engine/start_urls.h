// Start pages compared as the browsers would open them.
#pragma once

#include <string>
#include <string_view>

// The address with its scheme and host in lower case, "http://" before an
// address that names no scheme (as the browsers complete one typed without
// it) and one trailing slash taken off: two addresses that open the same
// page compare equal.
std::string NormalizedStartPage(std::string_view address);

// A browser's own new-tab page ("chrome://newtab/", "edge://newtab/",
// "about:newtab", "about:home"), which no hijacker's setting is.
bool IsBrowserNewTabPage(std::string_view address);

// True when `page` (UTF-8) is neither the user's address (UTF-8) nor a
// browser's own new-tab page, nor empty.
bool IsHijackedStartPage(std::string_view page, std::string_view user_address);
