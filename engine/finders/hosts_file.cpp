#include "engine/finders/hosts_file.h"

#include <memory>
#include <string_view>

#include "engine/rules/start_urls.h"
#include "platform/sorting.h"
#include "platform/text_set.h"

namespace {

// Search engines people use here, and the makers of the browsers of
// docs/browsers.md: a name that is one of these or ends in "." and one.
// `reachable` is false for the names that open here only through a hosts
// line: no hijacker needs to send those elsewhere, and users send them to
// the company's own addresses on purpose. `company` tells whose: one
// company's domains share its servers.
struct GuardedDomain {
  const char* upper;
  bool reachable;
  char company;
};
const GuardedDomain kGuardedDomains[] = {
    {"BAIDU.COM", true, 'b'},   {"GOOGLE.COM", false, 'g'}, {"GOOGLE.COM.HK", false, 'g'},
    {"GOOGLE.CN", false, 'g'},  {"BING.COM", true, 'm'},    {"SOGOU.COM", true, 's'},
    {"SO.COM", true, '3'},      {"SM.CN", true, 'a'},       {"YAHOO.COM", true, 'y'},
    {"MSN.COM", true, 'm'},     {"MSN.CN", true, 'm'},      {"MICROSOFT.COM", true, 'm'},
    {"MOZILLA.ORG", true, 'f'}, {"FIREFOX.COM", true, 'f'}, {"FIREFOXCHINA.CN", true, 'f'},
    {"360.CN", true, '3'},      {"2345.COM", true, '2'},    {"LIEBAO.CN", true, 'l'},
    {"QQ.COM", true, 't'},
};

// A company's own block of one of these domains (a hosts project's Yahoo
// block, a Microsoft Store or download fix): this many of its names, sent
// to more than one address, none shared with another company's names. A
// hijacker sends its names to its one server.
constexpr std::size_t kBlockNames = 3;
constexpr std::size_t kBlockAddresses = 2;

// Addresses that send a name nowhere: a block, not a redirect.
const char* const kBlockingAddresses[] = {"0.0.0.0", "127.0.0.1", "::1", "::", "0:0:0:0:0:0:0:0"};

const GuardedDomain* GuardedDomainOf(std::string_view upper) {
  for (const GuardedDomain& domain : kGuardedDomains) {
    const std::string_view name = domain.upper;
    if (upper == name ||
        (upper.size() > name.size() + 1 && upper.substr(upper.size() - name.size()) == name &&
         upper[upper.size() - name.size() - 1] == '.')) {
      return &domain;
    }
  }
  return nullptr;
}

// One line's address and names, upper-cased, the address first; none for
// a comment, a blank line, a lone word or a block.
TextArray FieldsOf(std::string_view line) {
  TextArray fields;
  line = line.substr(0, line.find('#'));
  for (std::size_t at = line.find_first_not_of(" \t\r"); at != std::string_view::npos;) {
    const std::size_t end = std::min(line.find_first_of(" \t\r", at), line.size());
    const std::string_view field = line.substr(at, end - at);
    // A block list runs to hundreds of thousands of lines: told apart first.
    for (const char* blocking : kBlockingAddresses) {
      if (fields.empty() && field == blocking) return fields;
    }
    fields.push_back(AsciiUpper(Text(field)));
    at = line.find_first_not_of(" \t\r", end);
  }
  if (fields.size() < 2) fields.clear();
  return fields;
}

// Calls `visit(start, line)` for each line of `bytes`, its line break off.
template <typename Visit>
void ForEachLine(const std::string& bytes, Visit visit) {
  const std::string_view all = bytes;
  for (std::size_t start = 0; start < all.size();) {
    std::size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    std::string_view line = all.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    visit(start, line);
    start = end + 1;
  }
}

constexpr std::size_t kDomains = sizeof kGuardedDomains / sizeof kGuardedDomains[0];

// What the whole file tells about its lines: the addresses the hijack
// pages are at (their own, or where this file sends their names), the
// addresses it sends more than one company's names to, and the domains
// whose names it sends to their company's own block (by their place in
// kGuardedDomains).
struct HostsFacts {
  TextSet hijack_addresses;
  TextSet shared_addresses;
  bool own_block[kDomains] = {};
};

// The companies whose guarded names a line names, one letter each.
Text CompaniesOf(const TextArray& fields) {
  Text companies;
  for (std::size_t at = 1; at < fields.size(); ++at) {
    const GuardedDomain* domain = GuardedDomainOf(fields[at]);
    if (domain && companies.find(domain->company) == Text::npos) companies += domain->company;
  }
  return companies;
}

HostsFacts FactsOf(const std::string& bytes, const TextArray& hijack_pages) {
  HostsFacts facts;
  TextSet page_hosts;
  for (const Text& page : hijack_pages) {
    const Text host = AsciiUpper(HostOfPage(page));
    if (!host.empty()) page_hosts.insert(host);
  }
  for (const Text& host : page_hosts) {
    if (!GuardedDomainOf(host)) facts.hijack_addresses.insert(host);
  }
  // Each address with each company it is given to, "ADDRESS company".
  TextArray given;
  ForEachLine(bytes, [&](std::size_t, std::string_view line) {
    const TextArray fields = FieldsOf(line);
    for (std::size_t at = 1; at < fields.size(); ++at) {
      // A page on a search engine's own name (a tracking link) is no
      // server of the hijacker's: its lines are judged as its company's.
      if (!GuardedDomainOf(fields[at]) && page_hosts.contains(fields[at])) {
        facts.hijack_addresses.insert(fields[0]);
      }
    }
    for (char company : CompaniesOf(fields)) given.push_back(fields[0] + ' ' + company);
  });
  SortItems(given);
  for (std::size_t at = 1; at < given.size(); ++at) {
    const Text& before = given[at - 1];
    const Text& each = given[at];
    if (before.size() == each.size() && before.back() != each.back() &&
        before.compare(0, before.size() - 1, each, 0, each.size() - 1) == 0) {
      facts.shared_addresses.insert(TextLeft(each, each.size() - 2));
    }
  }
  // Each domain's names and addresses, of the lines that send its names to
  // no hijacker's address and to no other company's.
  TextSet names[kDomains];
  TextSet addresses[kDomains];
  ForEachLine(bytes, [&](std::size_t, std::string_view line) {
    const TextArray fields = FieldsOf(line);
    if (fields.empty() || facts.hijack_addresses.contains(fields[0]) ||
        facts.shared_addresses.contains(fields[0])) {
      return;
    }
    for (std::size_t at = 1; at < fields.size(); ++at) {
      const GuardedDomain* domain = GuardedDomainOf(fields[at]);
      if (!domain) continue;
      const std::size_t which = domain - kGuardedDomains;
      if (names[which].size() < kBlockNames) names[which].insert(fields[at]);
      if (addresses[which].size() < kBlockAddresses) addresses[which].insert(fields[0]);
    }
  });
  for (std::size_t at = 0; at < kDomains; ++at) {
    facts.own_block[at] =
        names[at].size() >= kBlockNames && addresses[at].size() >= kBlockAddresses;
  }
  return facts;
}

enum class Verdict { kNothing, kUsersOwn, kRedirect };

Verdict JudgeLine(std::string_view line, const HostsFacts& facts) {
  const TextArray fields = FieldsOf(line);
  if (fields.empty()) return Verdict::kNothing;
  if (facts.hijack_addresses.contains(fields[0])) return Verdict::kRedirect;
  const Text companies = CompaniesOf(fields);
  if (companies.empty()) return Verdict::kNothing;
  // Different companies' names sent to one address: one server of the
  // hijacker's stands in for them all.
  if (companies.size() > 1 || facts.shared_addresses.contains(fields[0])) return Verdict::kRedirect;
  for (std::size_t at = 1; at < fields.size(); ++at) {
    const GuardedDomain* domain = GuardedDomainOf(fields[at]);
    if (domain && domain->reachable && !facts.own_block[domain - kGuardedDomains]) {
      return Verdict::kRedirect;
    }
  }
  return Verdict::kUsersOwn;
}

// The hosts file of the system folder.
Text HostsFilePath(FileSystem& files) {
  const Text system = files.GetSpecialFolder(kSystemFolder);
  return system.empty() ? Text() : system + "drivers\\etc\\hosts";
}

// `before` with "#" put before each line that starts at `line_starts`.
std::string WithLinesCommentedOut(const std::string& before,
                                  const std::vector<std::size_t>& line_starts) {
  std::string after;
  after.reserve(before.size() + line_starts.size());
  std::size_t next = 0;
  for (const std::size_t start : line_starts) {
    after.append(before, next, start - next);
    after += '#';
    next = start;
  }
  after.append(before, next, std::string::npos);
  return after;
}

// The file there but not read: said by the check and the repair, counted
// by both (a change the check cannot rule out, a failure of the repair),
// written by neither.
Step UnreadStep(const Text& path) {
  Step step;
  step.key = path;
  const Text line = "hosts 文件：" + path + " 无法安全读取，未检查";
  step.check_lines.push_back(line);
  step.failed_line = line;
  step.changes_something = true;
  step.reports_failure = true;
  return step;
}

// The Steps of the lines to comment out, all one change of the file: the
// first Step makes it while the file holds what was read; each after it is
// done where the file holds what the first left, and never writes.
void PlanLines(const Text& path, std::string bytes, const std::vector<std::size_t>& line_starts,
               const TextArray& shown, PlanFor purpose, Plan& plan) {
  std::shared_ptr<const std::string> after;
  if (purpose == PlanFor::kRepair) {
    // Not make_shared: built without RTTI, its control block asks the C++
    // library's shared_ptr.o, which brings the exception runtime (28 KB).
    after.reset(new const std::string(WithLinesCommentedOut(bytes, line_starts)));
  }
  for (std::size_t at = 0; at < shown.size(); ++at) {
    Step step;
    step.key = path + "：" + shown[at];
    step.check_lines.push_back("hosts 文件：\"" + shown[at] + "\"，将注释掉");
    step.done_line = "hosts 文件：\"" + shown[at] + "\"，已注释掉";
    step.failed_line = "hosts 文件：\"" + shown[at] + "\"，修复失败";
    step.changes_something = true;
    Change change;
    change.kind = Change::Kind::kFile;
    change.original = path;
    change.plain_only = true;
    if (after && at == 0) {
      change.guarded = true;
      change.bytes_seen = std::move(bytes);
      change.bytes_when_applied = [after](Platform&, const std::string&) { return *after; };
    } else if (after) {
      change.bytes_when_applied = [after](Platform&, const std::string& now) {
        return now == *after ? std::optional<std::string>(now) : std::nullopt;
      };
    }
    step.changes.push_back(std::move(change));
    plan.push_back(std::move(step));
  }
}

}  // namespace

void PlanHostsFile(PlanContext& context, Plan& plan) {
  FileSystem& files = context.machine.files;
  const Text path = HostsFilePath(files);
  if (path.empty()) return;
  std::string bytes;
  const FileSystem::PlainRead read = files.ReadPlainFile(path, kLargestHostsFile, &bytes);
  if (read == FileSystem::PlainRead::kAbsent) return;
  if (read != FileSystem::PlainRead::kRead) {
    plan.push_back(UnreadStep(path));
    return;
  }
  const HostsFacts facts = FactsOf(bytes, context.pages_opened);
  std::vector<std::size_t> line_starts;
  TextArray shown;
  std::size_t users_own = 0;
  ForEachLine(bytes, [&](std::size_t start, std::string_view line) {
    switch (JudgeLine(line, facts)) {
      case Verdict::kNothing:
        break;
      case Verdict::kUsersOwn:
        ++users_own;
        break;
      case Verdict::kRedirect:
        line_starts.push_back(start);
        shown.emplace_back(line);
        break;
    }
  });
  if (!shown.empty()) {
    context.hosts_lines_found = true;
    PlanLines(path, std::move(bytes), line_starts, shown, context.purpose, plan);
  }
  if (users_own > 0) {
    Step step;
    step.key = path;
    step.check_lines.push_back("hosts 文件：" + path + " 中 " + Decimal(users_own) +
                               " 行是用户自己添加的访问修复（如谷歌 hosts），不修改");
    plan.push_back(std::move(step));
  }
}

bool RepairMayWriteHostsFile(FileSystem& files, const Text& path) {
  const Text hosts = HostsFilePath(files);
  return !hosts.empty() && SameIgnoringAsciiCase(hosts, path);
}

namespace {

bool HostsFile(const PlaceRoots& roots, const Text& path) {
  return RepairMayWriteHostsFile(roots.machine.files, path);
}

}  // namespace

const FinderPlaces kHostsPlaces = {.file = HostsFile};
