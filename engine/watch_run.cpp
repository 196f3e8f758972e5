// The watch run: the check, read-only, as the user, and the notification's
// text when a hijack came back (engine/watch.h).
#include "engine/exclusive_run.h"
#include "engine/plan/finding_rows.h"
#include "engine/run_logs.h"
#include "engine/sequence.h"
#include "engine/watch.h"

namespace {

// What the notification names: the first start page found changed, and
// the first thing found that puts one back.
Text NoticeOf(const std::vector<FindingRow>& rows) {
  // At most 80 bytes, never half a double-byte character.
  const auto shorter = [](const Text& text) {
    if (text.size() <= 80) return text;
    std::size_t end = 0;
    while (end < text.size()) {
      const std::size_t next = end + (static_cast<unsigned char>(text[end]) >= 0x81 ? 2 : 1);
      if (next > 77) break;
      end = next;
    }
    return text.substr(0, end) + "...";
  };
  const FindingRow* page = nullptr;
  const FindingRow* reapplier = nullptr;
  for (const FindingRow& row : rows) {
    if (row.left) continue;
    const bool puts_back = row.kind == Text("开机启动项") || row.kind == Text("计划任务") ||
                           row.kind == Text("WMI 事件订阅") || row.kind == Text("系统服务") ||
                           row.kind == Text("浏览器调试器") || row.kind == Text("浏览器外部扩展") ||
                           row.kind == Text("浏览器策略");
    if (puts_back && !reapplier) reapplier = &row;
    if (!puts_back && !page) page = &row;
  }
  if (!page) page = reapplier;
  if (!page) return Text();
  // Internet Explorer's start page is a registry value: named as the
  // browser a person knows, its page without the quotes the log shows.
  const bool ie = page->kind == Text("注册表");
  Text now = page->now;
  if (now.size() >= 2 && now.front() == '"' && now.back() == '"')
    now = now.substr(1, now.size() - 2);
  Text notice = "青禾：浏览器主页又被改了（" + (ie ? Text("IE 浏览器") : shorter(page->what)) +
                (now.empty() ? Text() : "：" + shorter(now));
  if (reapplier && reapplier != page)
    notice += "，由" + reapplier->kind + " " + shorter(reapplier->what) + " 改回";
  return notice + "）。点此查看并修复";
}

// The watch run's host: the address it was given, nothing shown, nothing
// asked.
class WatchHost : public RepairHost {
 public:
  explicit WatchHost(Text address) : address_(std::move(address)) {}
  void ClearRepairLog() override {}
  void AppendRepairLog(const Text&) override {}
  Text ReadHomePageAddress() override { return address_; }
  void EnableRepairButton() override {}

 private:
  Text address_;
};

}  // namespace

WatchFinding RunWatchCheck(Platform& machine, const Text& address) {
  WatchHost silent(address);
  LogCopy host(silent);
  WatchFinding finding;
  RunExclusively(host, "检查", [&] {
    host.AppendRepairLog("登录时检查：只检查，不修改\r\n");
    Plan plan;
    RunCheck(machine, host, &plan);
    finding.notice = NoticeOf(FindingRows(plan));
    finding.found = !finding.notice.empty();
  });
  KeepRunLog(machine, "watch", host.text());
  return finding;
}
