#include "engine/hosts_file.h"

#include "engine/browser_arguments.h"

namespace {

constexpr std::size_t kLargestHostsFile = 4 << 20;

// Search engines people use here, and the makers of the browsers of
// docs/browsers.md: a name that is one of these or ends in "." and one.
const char* const kGuardedNames[] = {
    "BAIDU.COM", "GOOGLE.COM",    "GOOGLE.COM.HK", "GOOGLE.CN",   "BING.COM",
    "SOGOU.COM", "SO.COM",        "SM.CN",         "YAHOO.COM",   "MSN.COM",
    "MSN.CN",    "MICROSOFT.COM", "MOZILLA.ORG",   "FIREFOX.COM", "FIREFOXCHINA.CN",
    "360.CN",    "2345.COM",      "LIEBAO.CN",     "QQ.COM"};

// Addresses that send a name nowhere: a block, not a redirect.
const char* const kBlockingAddresses[] = {"0.0.0.0", "127.0.0.1", "::1", "::", "0:0:0:0:0:0:0:0"};

void Line(RepairHost& host, const Text& text) { host.AppendRepairLog(text + "\r\n"); }

bool IsGuarded(const Text& name) {
  const Text upper = AsciiUpper(name);
  for (const char* guarded : kGuardedNames) {
    const Text tail = Text(".") + guarded;
    if (upper == guarded || (upper.size() > tail.size() &&
                             upper.compare(upper.size() - tail.size(), tail.size(), tail) == 0)) {
      return true;
    }
  }
  return false;
}

// Whether a hosts line sends a guarded name to an address that is not a block.
bool Redirects(const Text& line) {
  const Text content = line.substr(0, line.find('#'));
  const std::vector<ArgumentToken> fields = SplitArguments(content);
  if (fields.size() < 2) return false;
  for (const char* blocking : kBlockingAddresses) {
    if (fields[0].value == blocking) return false;
  }
  for (std::size_t at = 1; at < fields.size(); ++at) {
    if (IsGuarded(fields[at].value)) return true;
  }
  return false;
}

}  // namespace

Text HostsFilePath(FileSystem& files) {
  const Text system = files.GetSpecialFolder(kSystemFolder);
  return system.empty() ? Text() : system + "drivers\\etc\\hosts";
}

HostsPlan PlanHostsFile(FileSystem& files) {
  HostsPlan plan;
  const Text path = HostsFilePath(files);
  if (path.empty()) return plan;
  std::string bytes;
  if (files.ReadPlainFile(path, kLargestHostsFile, &bytes) != FileSystem::PlainRead::kRead) {
    return plan;
  }
  for (std::size_t start = 0; start < bytes.size();) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    Text line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (Redirects(line)) {
      plan.line_starts.push_back(start);
      plan.shown.push_back(line);
    }
    start = end + 1;
  }
  if (!plan.line_starts.empty()) {
    plan.path = path;
    plan.before = std::move(bytes);
  }
  return plan;
}

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

int CheckHostsFile(RepairHost& host, const HostsPlan& plan) {
  for (const Text& line : plan.shown) Line(host, "hosts 文件：\"" + line + "\"，将注释掉");
  return static_cast<int>(plan.shown.size());
}

int RepairHostsFile(Platform& machine, RepairHost& host, BundleWriter& bundle,
                    const HostsPlan& plan) {
  if (plan.path.empty()) return 0;
  FileSystem& files = machine.files;
  const std::string after = WithLinesCommentedOut(plan.before, plan.line_starts);
  const bool done = files.IsPlainFile(plan.path) && FileHolds(files, plan.path, plan.before) &&
                    bundle.RecordFile(plan.path, plan.before, after) &&
                    ReplaceFileSafely(files, plan.path, after);
  for (const Text& line : plan.shown) {
    Line(host, "hosts 文件：\"" + line + (done ? "\"，已注释掉" : "\"，修复失败"));
  }
  return done ? 0 : static_cast<int>(plan.shown.size());
}

bool RepairMayWriteHostsFile(FileSystem& files, const Text& path) {
  const Text hosts = HostsFilePath(files);
  return !hosts.empty() && SameIgnoringAsciiCase(hosts, path);
}
