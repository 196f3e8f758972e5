#include "engine/plan/finding_rows.h"

#include "engine/plan/selection.h"

namespace {

// What the first Change's place holds now, as the plan saw it, and what
// the repair leaves there; a folder made for copies is never a finding.
Text ShownNow(const Change& change) {
  switch (change.kind) {
    case Change::Kind::kValue:
      if (change.value_seen) return ShownRegValue(*change.value_seen);
      return change.guarded ? Text("（不存在）") : Text();
    case Change::Kind::kTask:
      return "已启用";
    default:
      return "存在";
  }
}

Text ShownAfter(const Change& change) {
  switch (change.kind) {
    case Change::Kind::kValue:
      return change.value_after ? ShownRegValue(*change.value_after) : Text("删除");
    case Change::Kind::kFile:
      return change.bytes_after || change.bytes_when_applied ? Text("改写（原文件先备份）")
                                                             : Text("备份后删除");
    case Change::Kind::kTask:
      return "停用";
    case Change::Kind::kWmiObject:
      return "删除";
    default:
      return "连同其下各项删除";
  }
}

}  // namespace

std::vector<FindingRow> FindingRows(const Plan& plan) {
  std::vector<FindingRow> rows;
  for (const Step& step : plan) {
    if (!IsFinding(step)) continue;
    FindingRow row;
    row.id = FindingId(step);
    row.kind = step.kind;
    row.what = step.shown_what.empty() ? step.key : step.shown_what;
    row.check_text = CheckText(step);
    // Left whatever is chosen: nothing to change, or it says why not (a
    // running browser), in its last line.
    row.left = !step.changes_something || step.reports_failure;
    const Change* first = step.changes.empty() ? nullptr : &step.changes.front();
    row.now = !step.shown_now.empty() ? step.shown_now : first ? ShownNow(*first) : Text();
    if (row.left) {
      row.after = step.check_lines.empty() ? Text() : step.check_lines.back();
    } else {
      row.after = !step.shown_after.empty() ? step.shown_after
                  : first                   ? ShownAfter(*first)
                                            : Text();
    }
    if (row.after.empty()) row.after = row.check_text;
    rows.push_back(std::move(row));
  }
  return rows;
}

Text FindingsReport(const std::vector<FindingRow>& rows, const std::vector<bool>& ticked) {
  Text report = "检查结果（[x] 修复，[ ] 不修复，[-] 不会修改）：\r\n";
  for (std::size_t at = 0; at < rows.size(); ++at) {
    const FindingRow& row = rows[at];
    const char* box = row.left ? "[-] " : at < ticked.size() && ticked[at] ? "[x] " : "[ ] ";
    report += box + row.what + "\r\n    " + row.kind + "，编号 " + row.id + "\r\n    现为：" +
              row.now + "\r\n    " + (row.left ? "" : "修复后：") + row.after + "\r\n";
  }
  return report;
}
