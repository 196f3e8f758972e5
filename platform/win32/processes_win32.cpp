#include "platform/win32/processes_win32.h"

#include <windows.h>
// After windows.h, which they need.
#include <tlhelp32.h>
#include <winternl.h>

#include <string>

#include "platform/win32/ansi_text.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/user_account.h"

namespace {

// Vista's smaller right, where the whole one is refused (another user's or
// a protected process); XP knows only the whole one.
constexpr DWORD kQueryLimited = 0x1000;
constexpr ULONG kProcessCommandLineInformation = 60;  // Windows 8.1 and later

HANDLE OpenToRead(DWORD id, DWORD more) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | more, FALSE, id);
  return process ? process : OpenProcess(kQueryLimited | more, FALSE, id);
}

template <typename Function>
Function Kernel32Function(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), name)));
}

std::optional<Text> ImageOf(HANDLE process, DWORD id) {
  wchar_t path[MAX_PATH * 4];
  using QueryImage = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
  if (const auto query = Kernel32Function<QueryImage>("QueryFullProcessImageNameW")) {
    DWORD size = MAX_PATH * 4;
    return query(process, 0, path, &size) ? ExactAnsiFromWide({path, size}) : std::nullopt;
  }
  // Windows XP: the first module of the process is its executable.
  ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id));
  MODULEENTRY32W module;
  module.dwSize = sizeof module;
  if (!snapshot.valid() || !Module32FirstW(snapshot.get(), &module)) return std::nullopt;
  return ExactAnsiFromWide(module.szExePath);
}

bool IsWow64(HANDLE process) {
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const auto is_wow64 = Kernel32Function<IsWow64Fn>("IsWow64Process");
  BOOL wow64 = FALSE;
  return is_wow64 && is_wow64(process, &wow64) && wow64;
}

bool ReadAt(HANDLE process, const void* at, void* into, SIZE_T size) {
  SIZE_T read = 0;
  return ReadProcessMemory(process, at, into, size, &read) && read == size;
}

std::optional<Text> CommandLineOf(HANDLE process) {
  using QueryProcess = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  if (!query) return std::nullopt;
  std::wstring line;
  // The longest command line, 32767 characters, after its counted string.
  std::string buffer(sizeof(UNICODE_STRING) + 65536, '\0');
  ULONG size = 0;
  if (query(process, kProcessCommandLineInformation, buffer.data(), buffer.size(), &size) >= 0) {
    const auto* text = reinterpret_cast<const UNICODE_STRING*>(buffer.data());
    line.assign(text->Buffer, text->Length / 2);
  } else {
    // Before 8.1: the command line in the process's own block. A 32-bit
    // program cannot follow a 64-bit process's pointers this way: its
    // command line is unknown.
    if (IsWow64(GetCurrentProcess()) && !IsWow64(process)) return std::nullopt;
    PROCESS_BASIC_INFORMATION basic;
    PEB block;
    RTL_USER_PROCESS_PARAMETERS parameters;
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, &size) < 0 ||
        !ReadAt(process, basic.PebBaseAddress, &block, sizeof block) ||
        !ReadAt(process, block.ProcessParameters, &parameters, sizeof parameters)) {
      return std::nullopt;
    }
    line.resize(parameters.CommandLine.Length / 2);
    if (!ReadAt(process, parameters.CommandLine.Buffer, line.data(), line.size() * 2)) {
      return std::nullopt;
    }
  }
  // A character the code page lacks never matches a folder: marked.
  return AnsiFromWideMarked(line);
}

// The account a process runs as, its SID as a string; "" where its token
// cannot be read. A SID string is ASCII: "S-1-5-21-...".
Text AccountOf(HANDLE process) {
  const std::wstring sid = AccountSidOf(process);
  return Text(sid.begin(), sid.end());
}

std::optional<ProcessOwner> OwnerOf(HANDLE process, DWORD id) {
  ProcessOwner owner;
  DWORD session = 0;
  if (!ProcessIdToSessionId(id, &session)) return std::nullopt;
  owner.session = session;
  owner.account = AccountOf(process);
  if (owner.account.empty()) return std::nullopt;
  return owner;
}

// True when process `id`, open as `process`, runs in this program's own
// session as its own account.
bool IsOwn(HANDLE process, DWORD id) {
  const std::optional<ProcessOwner> own = OwnerOf(GetCurrentProcess(), GetCurrentProcessId());
  const std::optional<ProcessOwner> owner = OwnerOf(process, id);
  return own && owner && *own == *owner;
}

BOOL CALLBACK AskWindowToClose(HWND window, LPARAM ids) {
  const auto& wanted = *reinterpret_cast<const std::vector<std::uint32_t>*>(ids);
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  for (std::uint32_t each : wanted) {
    if (each != id) continue;
    // WM_CLOSE carries no text, so the A form posts the same message; the
    // window code uses it, and one import serves both (bench/size.sh).
    PostMessageA(window, WM_CLOSE, 0, 0);
    break;
  }
  return TRUE;
}

}  // namespace

std::optional<ProcessOwner> Win32Processes::Own() {
  return OwnerOf(GetCurrentProcess(), GetCurrentProcessId());
}

std::vector<RunningProcess> Win32Processes::List() {
  std::vector<RunningProcess> found;
  ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = snapshot.valid() && Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    const DWORD id = entry.th32ProcessID;
    if (id == GetCurrentProcessId()) continue;
    ScopedKernelHandle process(OpenToRead(id, 0));
    if (!process.valid()) continue;
    const std::optional<Text> image = ImageOf(process.get(), id);
    if (!image) continue;
    // One whose session or account cannot be read is listed as no one's.
    const std::optional<ProcessOwner> owner = OwnerOf(process.get(), id);
    found.push_back({id, *image, CommandLineOf(process.get()), owner.value_or(ProcessOwner{})});
  }
  return found;
}

void Win32Processes::AskToClose(const std::vector<std::uint32_t>& ids) {
  // An id may have been given to another user's process since it was
  // listed: only this session's and account's are asked.
  std::vector<std::uint32_t> own;
  for (std::uint32_t id : ids) {
    ScopedKernelHandle process(OpenToRead(id, 0));
    if (process.valid() && IsOwn(process.get(), id)) own.push_back(id);
  }
  // EnumWindows gives every top-level window, hidden ones too.
  if (!own.empty()) EnumWindows(AskWindowToClose, reinterpret_cast<LPARAM>(&own));
}

bool Win32Processes::End(std::uint32_t id, const Text& image) {
  // Held open, the id names this one process until the handle is closed.
  ScopedKernelHandle process(OpenToRead(id, PROCESS_TERMINATE | SYNCHRONIZE));
  if (!process.valid()) return false;
  if (WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) return true;
  const std::optional<Text> now = ImageOf(process.get(), id);
  // An elevated run may end any process: never another user's.
  if (!now || !SameIgnoringAsciiCase(*now, image) || !IsOwn(process.get(), id)) return false;
  TerminateProcess(process.get(), 1);
  return WaitForSingleObject(process.get(), 5000) == WAIT_OBJECT_0;
}

void Win32Processes::Pause(unsigned milliseconds) { Sleep(milliseconds); }
