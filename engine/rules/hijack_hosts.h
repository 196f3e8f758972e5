// The run's hijack hosts: the hosts of the pages this repair removes as a
// hijacker's (start pages and search engines of the browsers' profiles and
// policies, re-appliers' pages), which an Internet shortcut opening one of
// them is judged by (docs/ad-shortcuts.md).
#pragma once

#include <string>
#include <string_view>

#include "platform/text.h"

// A page's host as hosts are compared: lower case, without a "www." before
// it or a dot after it; "" when the address names none. "WWW.Evil.com." and
// "evil.com" are one host; "a.evil.com" and "notevil.com" are others.
std::string ComparedHost(std::string_view page);

// Adds the host of `page` (UTF-8) to `hosts` when the page is a hijacker's
// start page as the browsers' judges say (IsHijackedStartPage) and its host
// is not that of the user's own address.
void AddHijackHost(std::string_view page, std::string_view user_address, TextArray& hosts);

// The same for every http:// or https:// address written in `text` (a
// setting's value as shown: a list, a '|'-separated one, a command line).
void AddHijackHostsIn(std::string_view text, std::string_view user_address, TextArray& hosts);

// The same for the addresses of `text` that search on a hijacker's host as
// the search engines' judge says (IsHijackedSearchUrl: none the browsers
// ship): an engine's suggest address on Google's is no hijacker's.
void AddHijackSearchHostsIn(std::string_view text, std::string_view user_address, TextArray& hosts);
