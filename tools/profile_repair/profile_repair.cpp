// The check, the repair and the undo on a folder of the host, through the
// portable backend: the folder is drive C:, whose Users\u\AppData\Local and
// ...\Roaming are the user's application-data folders. The real browsers'
// tests make their profiles there and judge what this leaves.
//   profile_repair ROOT check|repair ADDRESS
//   profile_repair ROOT undo
// The log is printed in UTF-8. Exit code: what the engine returns, capped at
// 1; 2 for a usage error.
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/sequence.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "platform/text_utf16.h"
#include "platform/text_utf8.h"

namespace {

class PrintingHost : public RepairHost {
 public:
  explicit PrintingHost(Text address) : address_(std::move(address)) {}
  void ClearRepairLog() override {}
  void AppendRepairLog(const Text& text) override {
    const auto units = Utf16LeFromText(text);
    std::fputs(units ? Utf8FromUtf16Le(*units).c_str() : "?\r\n", stdout);
  }
  Text ReadHomePageAddress() override { return address_; }
  void EnableRepairButton() override {}

 private:
  Text address_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: profile_repair ROOT check|repair ADDRESS | ROOT undo\n");
    return 2;
  }
  const std::string command = argv[2];
  MemoryRegistry registry;
  RegistryOverCalls registry_items(registry);
  PortableFileSystem files;
  PortableShellLinks links(files);
  files.MapDrive('C', argv[1]);
  files.SetSpecialFolder(kLocalAppDataFolder, "C:\\Users\\u\\AppData\\Local");
  files.SetSpecialFolder(kAppDataFolder, "C:\\Users\\u\\AppData\\Roaming");
  files.SetSpecialFolder(kDesktopFolder, "C:\\Users\\u\\Desktop");
  Platform machine{registry_items, files, links};
  PrintingHost host(argc > 3 ? argv[3] : "");
  if (command == "check") return RunCheck(machine, host) > 0;
  if (command == "repair") return RunRepairSequence(machine, host) > 0;
  if (command == "undo") {
    const UndoOutcome outcome = RunUndo(machine, host);
    return outcome == UndoOutcome::kDone ? 0 : 1;
  }
  return 2;
}
