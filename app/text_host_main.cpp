// A console runner of the repair: the same sequence the window runs, with the
// repair log printed to standard output (code page 936 bytes). Takes the
// start-page address as its one argument.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "engine/repair_sequence.h"
#include "platform/com_scope.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/shell_links_win32.h"

namespace {

class ConsoleRepairHost : public RepairHost {
 public:
  explicit ConsoleRepairHost(Text address) : address_(std::move(address)) {}

  void ClearRepairLog() override {}
  void AppendRepairLog(const Text& text) override {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }
  Text ReadHomePageAddress() override { return address_; }
  void EnableRepairButton() override {}

 private:
  Text address_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qinghe-cli START-PAGE-ADDRESS\n");
    return 2;
  }
  // The log's CR LF line ends go out as they are.
  _setmode(_fileno(stdout), _O_BINARY);
  ScopedComInitializer com;
  Win32RegistryCalls registry_calls;
  RegistryOverCalls registry(registry_calls);
  Win32FileSystem files;
  Win32ShellLinks links;
  Platform machine{registry, files, links};
  ConsoleRepairHost host(argv[1]);
  RunRepairSequence(machine, host);
  return 0;
}
