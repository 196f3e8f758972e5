// How many small links per second the portable codec reads and writes, in
// memory. Each case runs for about `seconds` (first argument, default 1).
//
// Prints one table row per case: links per second and nanoseconds per link.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/portable/lnk_format.h"

namespace {

// What CreateShortcut writes for a desktop shortcut of the repair.
lnk::LinkData RepairLink(const Text& target, const Text& folder) {
  lnk::LinkData link;
  link.show_command = 5;
  link.link_info = lnk::LinkInfo{target, std::nullopt, Text()};
  link.name = "青禾 快捷方式修复操作";
  link.working_dir = folder;
  return link;
}

volatile std::size_t g_sink = 0;  // keeps the work from being optimised away

template <typename Work>
void Measure(const std::string& name, double seconds, Work work) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  std::size_t done = 0;
  double elapsed = 0;
  // Batches keep the clock out of the measured work.
  while (elapsed < seconds) {
    for (int i = 0; i < 1000; ++i) g_sink = g_sink + work();
    done += 1000;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  }
  std::printf("| %-46s | %12.0f | %8.0f |\n", name.c_str(), done / elapsed, elapsed * 1e9 / done);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;

  const lnk::LinkData ascii = RepairLink("C:\\Program Files\\Internet Explorer\\iexplore.exe",
                                         "C:\\Program Files\\Internet Explorer");
  const lnk::LinkData chinese = RepairLink("C:\\Program Files\\腾讯软件\\QQ浏览器\\QQBrowser.exe",
                                           "C:\\Program Files\\腾讯软件\\QQ浏览器");
  lnk::LinkData with_env = ascii;
  with_env.env_target = lnk::EnvironmentTarget{"%ProgramFiles%\\Internet Explorer\\iexplore.exe",
                                               "%ProgramFiles%\\Internet Explorer\\iexplore.exe"};
  const std::string ascii_bytes = *lnk::SerializeLink(ascii);
  const std::string chinese_bytes = *lnk::SerializeLink(chinese);
  const std::string env_bytes = *lnk::SerializeLink(with_env);

  std::printf("| %-46s | %12s | %8s |\n", "case", "links/s", "ns/link");
  std::printf("|%s|%s|%s|\n", std::string(48, '-').c_str(), std::string(14, '-').c_str(),
              std::string(10, '-').c_str());
  Measure("read: ASCII link (" + std::to_string(ascii_bytes.size()) + " bytes), target", seconds,
          [&] {
            auto link = lnk::ParseLink(ascii_bytes);
            return lnk::ShellTarget(*link, nullptr).size();
          });
  Measure("read: Chinese names (UTF-16 to CP936), target", seconds, [&] {
    auto link = lnk::ParseLink(chinese_bytes);
    return lnk::ShellTarget(*link, nullptr).size();
  });
  Measure("read: with environment block, raw target", seconds, [&] {
    auto link = lnk::ParseLink(env_bytes);
    return lnk::ShellTarget(*link, nullptr).size();
  });
  Measure("write: ASCII link", seconds, [&] { return lnk::SerializeLink(ascii)->size(); });
  Measure("write: Chinese names (CP936 to UTF-16)", seconds,
          [&] { return lnk::SerializeLink(chinese)->size(); });
  Measure("write: with environment block", seconds,
          [&] { return lnk::SerializeLink(with_env)->size(); });
  return 0;
}
