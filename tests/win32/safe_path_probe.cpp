// Makes each change the file-system layer offers at names below THROUGH, a
// folder a shell test has made lead through a link (a Unix symlink under
// Wine, where Windows has junctions), and the same changes below PLAIN, a
// folder without one; one line per call: "through NAME refused|done" and
// "plain NAME refused|done". THROUGH holds keep.vbs ("keep"), same.bat
// ("same") and an empty folder "empty" when it starts.
//
//   safe_path_probe THROUGH PLAIN
#include <cstdio>

#include "platform/files.h"
#include "platform/win32/files_win32.h"

namespace {

void Say(const char* where, const char* call, bool done) {
  std::printf("%s %s %s\n", where, call, done ? "done" : "refused");
}

void Changes(FileSystem& files, const char* where, const Text& folder, const Text& plain) {
  Say(where, "LeadsThroughLink", files.LeadsThroughLink(folder + "keep.vbs"));
  Say(where, "WriteNewFile",
      files.WriteNewFile(folder + "homekeeper.bat", "start http://hijack.test/") ==
          NewFile::kWritten);
  Say(where, "CreateFolder", files.CreateFolder(folder + "made"));
  Say(where, "CreatePrivateFolder", files.CreatePrivateFolder(folder + "made-private"));
  Say(where, "AppendToFile", files.AppendToFile(folder + "keep.vbs", "more"));
  Say(where, "ReplaceFileSafely", ReplaceFileSafely(files, folder + "keep.vbs", "replaced"));
  files.WriteNewFile(plain + "source.bat", "moved");
  Say(where, "MoveOverFile", files.MoveOverFile(plain + "source.bat", folder + "moved.bat"));
  files.DeleteOneFile(plain + "source.bat");
  Say(where, "DeleteFileHolding",
      files.DeleteFileHolding(folder + "same.bat", "same") == HeldDelete::kDeleted);
  Say(where, "DeleteOneFile", files.DeleteOneFile(folder + "keep.vbs"));
  Say(where, "RemoveFolder", files.RemoveFolder(folder + "empty"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: safe_path_probe THROUGH PLAIN\n");
    return 2;
  }
  Win32FileSystem files;
  Text through = argv[1], plain = argv[2];
  if (through.back() != '\\') through += '\\';
  if (plain.back() != '\\') plain += '\\';
  Changes(files, "through", through, plain);
  // The same changes where no link is on the way, to the same kind of files.
  files.WriteNewFile(plain + "keep.vbs", "keep");
  files.WriteNewFile(plain + "same.bat", "same");
  files.CreateFolder(plain + "empty");
  Changes(files, "plain", plain, plain);
  return 0;
}
