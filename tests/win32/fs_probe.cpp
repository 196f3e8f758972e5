// Looks at and shapes the file system through the ANSI Win32 calls, for the
// shell tests that plant hostile trees. Names are printed as the ANSI calls
// give them (code page 936 bytes).
//
//   fs_probe list PATTERN        one "ATTRIBUTES<TAB>NAME" line per entry
//                                that FindFirstFileA/FindNextFileA give
//   fs_probe attributes PATH     GetFileAttributesA, or "none ERROR"
//   fs_probe set PATH FLAG...    SetFileAttributesA: flags +h -h +s -s +r -r
//   fs_probe symlink LINK TARGET CreateSymbolicLinkA to a folder
//   fs_probe junction LINK TARGET  a folder made a mount point to TARGET
//                                (an absolute path) with FSCTL_SET_REPARSE_POINT
//   fs_probe fill FOLDER COUNT   COUNT small text files f00001.txt ... in FOLDER
//   fs_probe hold PATH SHARE SECONDS  opens PATH as a running browser holds
//                                its lock file (created, deleted on close;
//                                SHARE "read" as Chromium's lockfile, "none"
//                                as Firefox's parent.lock), prints "held",
//                                and keeps it for SECONDS
// Exit status 0 on success; otherwise the error code is printed.
#include <windows.h>
#include <winioctl.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/scoped_handle.h"

namespace {

int Failed(const char* what) {
  std::printf("%s failed: %lu\n", what, static_cast<unsigned long>(GetLastError()));
  return 1;
}

int List(const char* pattern) {
  WIN32_FIND_DATAA data;
  ScopedFindHandle search(FindFirstFileA(pattern, &data));
  if (!search.valid()) return Failed("FindFirstFileA");
  do {
    std::printf("%08lx\t%s\n", static_cast<unsigned long>(data.dwFileAttributes), data.cFileName);
  } while (FindNextFileA(search.get(), &data));
  return 0;
}

int Attributes(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    std::printf("none %lu\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  std::printf("%08lx\n", static_cast<unsigned long>(attributes));
  return 0;
}

int Set(const char* path, int count, char** flags) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return Failed("GetFileAttributesA");
  for (int i = 0; i < count; ++i) {
    DWORD bit = 0;
    switch (flags[i][1]) {
      case 'h':
        bit = FILE_ATTRIBUTE_HIDDEN;
        break;
      case 's':
        bit = FILE_ATTRIBUTE_SYSTEM;
        break;
      case 'r':
        bit = FILE_ATTRIBUTE_READONLY;
        break;
      default:
        std::fprintf(stderr, "unknown flag %s\n", flags[i]);
        return 2;
    }
    attributes = flags[i][0] == '+' ? (attributes | bit) : (attributes & ~bit);
  }
  if (!SetFileAttributesA(path, attributes)) return Failed("SetFileAttributesA");
  return 0;
}

int Symlink(const char* link, const char* target) {
  // Not declared for every Windows version the headers aim at: looked up.
  using CreateSymbolicLinkFn = BOOLEAN(WINAPI*)(LPCSTR, LPCSTR, DWORD);
  const auto create = reinterpret_cast<CreateSymbolicLinkFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateSymbolicLinkA")));
  if (!create) {
    std::printf("CreateSymbolicLinkA missing\n");
    return 1;
  }
  if (!create(link, target, SYMBOLIC_LINK_FLAG_DIRECTORY)) return Failed("CreateSymbolicLinkA");
  return 0;
}

// The mount-point form of REPARSE_DATA_BUFFER, which MinGW's headers keep to
// the driver kit: tag, data length, reserved, then the substitute and print
// names as offsets and lengths into one UTF-16 path buffer.
struct MountPointBuffer {
  DWORD tag;
  WORD data_length;
  WORD reserved;
  WORD substitute_offset;
  WORD substitute_length;
  WORD print_offset;
  WORD print_length;
  WCHAR path[1];
};

int Junction(const char* link, const char* target) {
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, target, -1, wide, MAX_PATH)) return Failed("target");
  const std::wstring print = wide;
  const std::wstring substitute = L"\\??\\" + print;
  if (!CreateDirectoryA(link, nullptr)) return Failed("CreateDirectoryA");
  ScopedKernelHandle folder(CreateFileA(link, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
  if (folder.get() == INVALID_HANDLE_VALUE) {
    folder.Release();
    return Failed("CreateFileA");
  }
  const std::size_t path_bytes = (substitute.size() + 1 + print.size() + 1) * sizeof(WCHAR);
  std::vector<char> bytes(offsetof(MountPointBuffer, path) + path_bytes);
  auto* buffer = reinterpret_cast<MountPointBuffer*>(bytes.data());
  buffer->tag = IO_REPARSE_TAG_MOUNT_POINT;
  buffer->data_length = static_cast<WORD>(bytes.size() - 8);
  buffer->substitute_offset = 0;
  buffer->substitute_length = static_cast<WORD>(substitute.size() * sizeof(WCHAR));
  buffer->print_offset = static_cast<WORD>((substitute.size() + 1) * sizeof(WCHAR));
  buffer->print_length = static_cast<WORD>(print.size() * sizeof(WCHAR));
  std::memcpy(buffer->path, substitute.c_str(), (substitute.size() + 1) * sizeof(WCHAR));
  std::memcpy(buffer->path + substitute.size() + 1, print.c_str(),
              (print.size() + 1) * sizeof(WCHAR));
  DWORD returned = 0;
  if (!DeviceIoControl(folder.get(), FSCTL_SET_REPARSE_POINT, bytes.data(),
                       static_cast<DWORD>(bytes.size()), nullptr, 0, &returned, nullptr)) {
    const DWORD error = GetLastError();
    folder.Reset();
    RemoveDirectoryA(link);
    SetLastError(error);
    return Failed("FSCTL_SET_REPARSE_POINT");
  }
  return 0;
}

int Fill(const std::string& folder, int count) {
  for (int i = 1; i <= count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%05d.txt", i);
    const std::string path = folder + "\\" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return Failed(path.c_str());
    std::fputs("x", file);
    std::fclose(file);
  }
  return 0;
}

int Hold(const char* path, const std::string& share, int seconds) {
  // chrome/browser/process_singleton_win.cc and nsProfileLock.cpp.
  ScopedFileHandle file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                    share == "read" ? FILE_SHARE_READ : 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!file.valid()) return Failed("CreateFileA");
  std::printf("held\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(seconds) * 1000);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: fs_probe list|attributes|set|symlink|junction|fill PATH ...\n");
    return 2;
  }
  const std::string command = argv[1];
  if (command == "list") return List(argv[2]);
  if (command == "attributes") return Attributes(argv[2]);
  if (command == "set") return Set(argv[2], argc - 3, argv + 3);
  if (command == "symlink" && argc == 4) return Symlink(argv[2], argv[3]);
  if (command == "junction" && argc == 4) return Junction(argv[2], argv[3]);
  if (command == "fill" && argc == 4) return Fill(argv[2], std::atoi(argv[3]));
  if (command == "hold" && argc == 5) return Hold(argv[2], argv[3], std::atoi(argv[4]));
  std::fprintf(stderr, "unknown command %s\n", argv[1]);
  return 2;
}
