// The rows the results window benchmark lists: 1,100 findings over the
// kinds a hijacked PC shows, with texts as long as real ones.
#pragma once

#include <string>
#include <vector>

struct SampleRow {
  std::string kind, what, now, after;
  bool left;
};

inline std::vector<SampleRow> SampleRows(int count) {
  const char* kinds[] = {"注册表",     "快捷方式", "浏览器主页", "浏览器策略",
                         "开机启动项", "计划任务", "hosts 文件", "网络代理"};
  std::vector<SampleRow> rows;
  for (int at = 0; at < count; ++at) {
    const int kind = at * 8 / count;
    const std::string n = std::to_string(at);
    rows.push_back({kinds[kind],
                    "C:\\Users\\用户\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\"
                    "浏览器 " +
                        n + ".lnk",
                    "\"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe\" "
                    "http://hao.hijack.example/?from=" +
                        n,
                    "去掉所加网址，其余不变", at % 50 == 49});
  }
  return rows;
}
