#include "engine/rules/hijack_hosts.h"

#include "engine/rules/chromium_search.h"
#include "engine/rules/start_urls.h"

std::string ComparedHost(std::string_view page) {
  std::string host = HostOfPage(page);
  if (!host.empty() && host.back() == '.') host.pop_back();
  if (host.compare(0, 4, "www.") == 0) host.erase(0, 4);
  return host;
}

void AddHijackHost(std::string_view page, std::string_view user_address, TextArray& hosts) {
  if (!IsHijackedStartPage(page, user_address)) return;
  const std::string host = ComparedHost(page);
  if (host.empty() || host == ComparedHost(user_address) || HasText(hosts, host)) return;
  hosts.push_back(host);
}

namespace {

template <typename Judge>
void AddHostsIn(std::string_view text, std::string_view user_address, TextArray& hosts,
                Judge judge) {
  const Text upper = AsciiUpper(Text(text));
  for (std::size_t at = upper.find("HTTP"); at != Text::npos; at = upper.find("HTTP", at + 4)) {
    const std::size_t rest = upper.compare(at, 7, "HTTP://") == 0    ? at + 7
                             : upper.compare(at, 8, "HTTPS://") == 0 ? at + 8
                                                                     : Text::npos;
    if (rest == Text::npos) continue;
    const std::size_t end = upper.find_first_of(" \t\r\n\"'|,;<>[]{}", rest);
    const std::string_view page = text.substr(at, end == Text::npos ? Text::npos : end - at);
    if (judge(page)) AddHijackHost(page, user_address, hosts);
  }
}

}  // namespace

void AddHijackHostsIn(std::string_view text, std::string_view user_address, TextArray& hosts) {
  AddHostsIn(text, user_address, hosts, [](std::string_view) { return true; });
}

void AddHijackSearchHostsIn(std::string_view text, std::string_view user_address,
                            TextArray& hosts) {
  AddHostsIn(text, user_address, hosts, [user_address](std::string_view page) {
    return IsHijackedSearchUrl(page, user_address);
  });
}
