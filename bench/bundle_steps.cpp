// Where the time of the check, the repair with its bundle and the undo goes,
// under Wine, on the same seeded machine as bundle_bench:
//  1. the engine's own runs in this process (RunCheck, PlanShortcuts,
//     RunRepairSequence, ReadBundleForUndo, RunUndo), with every call to the
//     file system and the link object timed and counted on its way through;
//     what is left of a run's time is the engine's own work, hashing
//     included (SHA-256 is no call of the file system);
//  2. each step a link takes, one at a time over every desktop link: read,
//     hash, write (with and without its flush), read back, folder, manifest
//     line, compose, parse, move, and the bare loops' own calls.
// Run under Wine: bench/bundle.sh steps.
#include <windows.h>
// after windows.h, which they need
#include <objbase.h>
#include <objidl.h>
#include <psapi.h>
#include <shlobj.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_process.h"
#include "bench/durable_floor.h"
#include "bench/seeded_machine.h"
#include "engine/bundle/format.h"
#include "engine/bundle/listing.h"
#include "engine/bundle/reader.h"
#include "engine/bundle/writer.h"
#include "engine/finders/shortcut_repair.h"
#include "engine/sequence.h"
#include "engine/undo.h"
#include "platform/com_scope.h"
#include "platform/digest.h"
#include "platform/win32/files_win32.h"
#include "platform/win32/handle_place.h"
#include "platform/win32/registry_win32.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/shell_links_win32.h"

namespace {

const char kAddress[] = "http://www.example.com/";

struct Tally {
  int calls = 0;
  double ms = 0;
};

// Calls by name, in the order they were first made.
class Tallies {
 public:
  Tally& operator[](const char* name) {
    for (auto& [known, tally] : tallies_) {
      if (known == name) return tally;
    }
    tallies_.emplace_back(name, Tally());
    return tallies_.back().second;
  }
  const std::vector<std::pair<std::string, Tally>>& all() const { return tallies_; }
  void Clear() { tallies_.clear(); }

 private:
  std::vector<std::pair<std::string, Tally>> tallies_;
};

// Adds the time from its making to its end to a tally.
class Timed {
 public:
  explicit Timed(Tally& tally) : tally_(tally), start_(NowMs()) {}
  ~Timed() {
    ++tally_.calls;
    tally_.ms += NowMs() - start_;
  }
  Timed(const Timed&) = delete;
  Timed& operator=(const Timed&) = delete;

 private:
  Tally& tally_;
  double start_;
};

#define TIMED(name) Timed timed(tallies_[name])

class TimedFiles final : public FileSystem {
 public:
  TimedFiles(FileSystem& inner, Tallies& tallies) : inner_(inner), tallies_(tallies) {}
  Text SystemSpecialFolder(SpecialFolder folder) override {
    TIMED("files: GetSpecialFolder");
    return inner_.SystemSpecialFolder(folder);
  }
  Text UserProfileFolder() override { return inner_.UserProfileFolder(); }
  bool UnelevatedUserMayWrite(const Text& folder) override {
    return inner_.UnelevatedUserMayWrite(folder);
  }
  bool LeadsThroughLink(const Text& path) override {
    TIMED("files: LeadsThroughLink");
    return inner_.LeadsThroughLink(path);
  }
  HeldDelete DeleteFileHolding(const Text& path, const std::string& bytes) override {
    TIMED("files: DeleteFileHolding");
    return inner_.DeleteFileHolding(path, bytes);
  }
  bool PathExists(const Text& path) override {
    TIMED("files: PathExists");
    return inner_.PathExists(path);
  }
  bool CreateFolder(const Text& path) override {
    TIMED("files: CreateFolder");
    return inner_.CreateFolder(path);
  }
  bool CopyOneFile(const Text& source, const Text& target) override {
    TIMED("files: CopyOneFile");
    return inner_.CopyOneFile(source, target);
  }
  NewFile WriteNewFile(const Text& path, const std::string& bytes) override {
    TIMED("files: WriteNewFile (flushed)");
    return inner_.WriteNewFile(path, bytes);
  }
  bool AppendToFile(const Text& path, const std::string& bytes) override {
    TIMED("files: AppendToFile (flushed)");
    return inner_.AppendToFile(path, bytes);
  }
  std::optional<std::string> ReadWholeFile(const Text& path, std::size_t max_size) override {
    TIMED("files: ReadWholeFile");
    return inner_.ReadWholeFile(path, max_size);
  }
  Text UnpredictableToken() override {
    TIMED("files: UnpredictableToken");
    return inner_.UnpredictableToken();
  }
  bool DeleteOneFile(const Text& path) override {
    TIMED("files: DeleteOneFile");
    return inner_.DeleteOneFile(path);
  }
  bool MoveOverFile(const Text& source, const Text& target) override {
    TIMED("files: MoveOverFile");
    return inner_.MoveOverFile(source, target);
  }
  std::vector<FolderEntry> FindEntries(const Text& pattern) override {
    TIMED("files: FindEntries");
    return inner_.FindEntries(pattern);
  }
  bool RemoveFolder(const Text& path) override {
    TIMED("files: RemoveFolder");
    return inner_.RemoveFolder(path);
  }
  bool IsFolderLink(const Text& path) override {
    TIMED("files: IsFolderLink");
    return inner_.IsFolderLink(path);
  }
  bool IsElevated() override {
    TIMED("files: IsElevated");
    return inner_.IsElevated();
  }
  bool IsDomainJoined() override {
    TIMED("files: IsDomainJoined");
    return inner_.IsDomainJoined();
  }
  bool IsEnrolledInDeviceManagement() override {
    TIMED("files: IsEnrolledInDeviceManagement");
    return inner_.IsEnrolledInDeviceManagement();
  }
  bool CreatePrivateFolder(const Text& path) override {
    TIMED("files: CreatePrivateFolder");
    return inner_.CreatePrivateFolder(path);
  }
  bool OthersMayWrite(const Text& path) override {
    TIMED("files: OthersMayWrite");
    return inner_.OthersMayWrite(path);
  }
  bool IsPlainFile(const Text& path) override {
    TIMED("files: IsPlainFile");
    return inner_.IsPlainFile(path);
  }
  bool IsHeldOpen(const Text& path) override {
    TIMED("files: IsHeldOpen");
    return inner_.IsHeldOpen(path);
  }
  Text LocalTimestamp() override {
    TIMED("files: LocalTimestamp");
    return inner_.LocalTimestamp();
  }

 private:
  FileSystem& inner_;
  Tallies& tallies_;
};

class TimedLinks final : public ShellLinks {
 public:
  TimedLinks(ShellLinks& inner, Tallies& tallies) : inner_(inner), tallies_(tallies) {}
  Text ReadShortcut(const Text& link_name, const ShortcutFields& fields) override {
    TIMED("links: ReadShortcut");
    return inner_.ReadShortcut(link_name, fields);
  }
  bool CreateShortcut(const Text& link_name, const Text& target,
                      const std::optional<Text>& description, const std::optional<Text>& arguments,
                      const std::optional<Text>& working_directory) override {
    TIMED("links: CreateShortcut");
    return inner_.CreateShortcut(link_name, target, description, arguments, working_directory);
  }
  std::optional<LinkToRewrite> ReadLinkToRewrite(const Text& link_name) override {
    TIMED("links: ReadLinkToRewrite");
    return inner_.ReadLinkToRewrite(link_name);
  }
  std::optional<std::string> ComposeLinkWithoutArguments(const LinkToRewrite& link,
                                                         const Text& description) override {
    TIMED("links: ComposeLinkWithoutArguments");
    return inner_.ComposeLinkWithoutArguments(link, description);
  }
  std::optional<std::string> ComposeLinkTo(const Text& target, const Text& working_directory,
                                           const Text& icon_location,
                                           const Text& description) override {
    TIMED("links: ComposeLinkTo");
    return inner_.ComposeLinkTo(target, working_directory, icon_location, description);
  }
  bool ParsesAsLink(const std::string& bytes) override {
    TIMED("links: ParsesAsLink");
    return inner_.ParsesAsLink(bytes);
  }
  void NotifyShellItemsChanged() override { inner_.NotifyShellItemsChanged(); }

 private:
  ShellLinks& inner_;
  Tallies& tallies_;
};

// The log thrown away, as the benches throw qinghe-cli's output away.
class QuietHost final : public RepairHost {
 public:
  void ClearRepairLog() override {}
  void AppendRepairLog(const Text&) override { ++lines; }
  Text ReadHomePageAddress() override { return kAddress; }
  void EnableRepairButton() override {}
  int lines = 0;
};

// The machine with every file and link call timed into `tallies`.
struct TimedMachine {
  explicit TimedMachine(Tallies& tallies)
      : registry(registry_calls), files(real_files, tallies), links(real_links, tallies) {}
  Win32RegistryCalls registry_calls;
  RegistryOverCalls registry;
  Win32FileSystem real_files;
  Win32ShellLinksWithCreate real_links;
  TimedFiles files;
  TimedLinks links;
  Platform platform{registry, files, links};
};

// This process's peak working set, MiB.
double PeakWorkingSetMib() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters.PeakWorkingSetSize / 1048576.0;
}

void PrintRun(const char* name, double total_ms, const Tallies& tallies, int links,
              double peak_before, double peak_after) {
  std::printf("\n%s: %.0f ms, %.2f ms a link; peak working set %.1f -> %.1f MiB\n", name, total_ms,
              total_ms / links, peak_before, peak_after);
  std::printf("  %-40s %7s %9s %9s %7s\n", "call", "calls", "ms", "us/call", "share");
  double tallied = 0, small = 0;
  for (const auto& [call, tally] : tallies.all()) {
    tallied += tally.ms;
    if (tally.ms < 0.005 * total_ms) {
      small += tally.ms;
      continue;
    }
    std::printf("  %-40s %7d %9.0f %9.0f %6.1f%%\n", call.c_str(), tally.calls, tally.ms,
                1000 * tally.ms / tally.calls, 100 * tally.ms / total_ms);
  }
  std::printf("  %-40s %7s %9.0f %9s %6.1f%%\n", "calls under 0.5% each, together", "", small, "",
              100 * small / total_ms);
  std::printf("  %-40s %7s %9.0f %9s %6.1f%%\n", "the engine itself (hashing included)", "",
              total_ms - tallied, "", 100 * (total_ms - tallied) / total_ms);
}

// One step's cost over many calls.
struct Step {
  const char* name;
  Tally tally;
};

// Times `body` and adds it to `step`.
template <typename Body>
auto TimeStep(Tally& step, Body body) {
  Timed timed(step);
  return body();
}

// A CryptoAPI context for SHA-256, kept for many hashes.
struct CryptProviderTraits {
  using Handle = HCRYPTPROV;
  static Handle Invalid() { return 0; }
  static void Close(Handle h) { CryptReleaseContext(h, 0); }
};
using ScopedCryptProvider = ScopedHandle<CryptProviderTraits>;
struct CryptHashTraits {
  using Handle = HCRYPTHASH;
  static Handle Invalid() { return 0; }
  static void Close(Handle h) { CryptDestroyHash(h); }
};
using ScopedCryptHash = ScopedHandle<CryptHashTraits>;

bool AcquireAes(ScopedCryptProvider* provider) {
  return CryptAcquireContextA(provider->Receive(), nullptr, nullptr, PROV_RSA_AES,
                              CRYPT_VERIFYCONTEXT) != FALSE;
}

bool HashWith(HCRYPTPROV provider, const std::string& bytes) {
  ScopedCryptHash hash;
  BYTE value[32];
  DWORD size = sizeof value;
  return CryptCreateHash(provider, CALG_SHA_256, 0, 0, hash.Receive()) &&
         CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data()),
                       static_cast<DWORD>(bytes.size()), 0) &&
         CryptGetHashParam(hash.get(), HP_HASHVAL, value, &size, 0);
}

// A new file written without the flush WriteNewFile ends with.
bool WriteUnflushed(const std::string& path, const std::string& bytes) {
  ScopedFileHandle file(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD put = 0;
  return file.valid() &&
         WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
         put == bytes.size();
}

// What composing a replacement consists of, step by step, as
// Win32ShellLinks::ComposeLinkWithoutArguments does it.
template <typename StepOf>
void ComposeSteps(const std::string& path, StepOf step) {
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)) return;
  wchar_t target[1024] = L"", raw[1024] = L"", folder[1024] = L"";
  {
    ScopedComPtr<IShellLinkW> old_link;
    ScopedComPtr<IPersistFile> file;
    const bool loaded = TimeStep(step("  compose: old link made and loaded"), [&] {
      return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IShellLinkW, old_link.ReceiveVoid())) &&
             SUCCEEDED(old_link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) &&
             SUCCEEDED(file->Load(wide, STGM_READ));
    });
    if (!loaded) return;
    TimeStep(step("  compose: target, raw target, folder read"), [&] {
      old_link->GetPath(target, 1024, nullptr, SLGP_UNCPRIORITY);
      old_link->GetPath(raw, 1024, nullptr, SLGP_RAWPATH);
      return old_link->GetWorkingDirectory(folder, 1024);
    });
  }
  ScopedComPtr<IShellLinkW> new_link;
  ScopedComPtr<IPersistStream> persist;
  const bool made = TimeStep(step("  compose: new link made"), [&] {
    return SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, new_link.ReceiveVoid())) &&
           SUCCEEDED(new_link->QueryInterface(IID_IPersistStream, persist.ReceiveVoid()));
  });
  if (!made) return;
  TimeStep(step("  compose: SetPath"), [&] { return new_link->SetPath(raw[0] ? raw : target); });
  TimeStep(step("  compose: show, description, folder set"), [&] {
    new_link->SetShowCmd(SW_SHOW);
    new_link->SetDescription(L"composed");
    return new_link->SetWorkingDirectory(folder);
  });
  TimeStep(step("  compose: saved into a memory stream"), [&] {
    ScopedComPtr<IStream> stream;
    return SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE,
                                           reinterpret_cast<IStream**>(stream.ReceiveVoid()))) &&
           SUCCEEDED(persist->Save(stream.get(), TRUE));
  });
}

// Each step a link takes, timed one by one over the desktop's links.
void TimeSteps(const SeededFolders& places) {
  std::vector<std::string> links;
  {
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA((places.desktop + "*").c_str(), &found));
    if (search.valid()) {
      do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
          links.push_back(found.cFileName);
        }
      } while (FindNextFileA(search.get(), &found));
    }
  }
  Win32FileSystem files;
  Win32ShellLinks shell;
  std::vector<Step> steps;
  const auto step = [&steps](const char* name) -> Tally& {
    for (Step& known : steps) {
      if (known.name == name) return known.tally;
    }
    steps.push_back({name, Tally()});
    return steps.back().tally;
  };
  steps.reserve(32);
  const std::string flushed = places.copies + "desktop\\";
  const std::string unflushed = places.copies + "quick\\";
  const std::string copied = places.copies + "copied\\";
  const std::string folders = places.copies + "folders\\";
  const std::string floor_files = places.copies + "floor\\";
  const std::string floor_folders = places.copies + "floor-folders\\";
  MakeFolder(copied);
  MakeFolder(folders);
  MakeFolder(floor_files);
  MakeFolder(floor_folders);
  const std::string manifest = places.copies + "manifest.txt";
  files.WriteNewFile(manifest, "qinghe restore bundle 1\r\n");
  const std::string line(190, 'x');
  // First with no other CryptoAPI context open in the process, as in the
  // program's runs; then with one context kept open throughout.
  const double peak_before_hashes = PeakWorkingSetMib();
  for (const std::string& name : links) {
    const auto bytes = files.ReadWholeFile(places.desktop + name, 1 << 20);
    if (!bytes) continue;
    TimeStep(step("Sha256Hex (the program's), no context open"), [&] { return Sha256Hex(*bytes); });
    TimeStep(step("  CryptAcquireContext + release alone"), [&] {
      ScopedCryptProvider provider;
      return AcquireAes(&provider);
    });
  }
  const double peak_after_hashes = PeakWorkingSetMib();
  {
    // The provider's DLL held loaded, still with no context open.
    struct LibraryTraits {
      using Handle = HMODULE;
      static Handle Invalid() { return nullptr; }
      static void Close(Handle h) { FreeLibrary(h); }
    };
    ScopedHandle<LibraryTraits> rsaenh(LoadLibraryA("rsaenh.dll"));
    for (const std::string& name : links) {
      const auto bytes = files.ReadWholeFile(places.desktop + name, 1 << 20);
      if (!bytes) continue;
      TimeStep(step("Sha256Hex, no context open, rsaenh.dll held"),
               [&] { return Sha256Hex(*bytes); });
    }
  }
  ScopedCryptProvider kept;
  AcquireAes(&kept);
  int number = 0;
  for (const std::string& name : links) {
    const std::string path = places.desktop + name;
    const auto bytes = TimeStep(step("ReadWholeFile of a link"),
                                [&] { return files.ReadWholeFile(path, 1 << 20); });
    if (!bytes) continue;
    TimeStep(step("Sha256Hex (the program's), a context kept open"),
             [&] { return Sha256Hex(*bytes); });
    TimeStep(step("  CryptAcquireContext + release, one kept open"), [&] {
      ScopedCryptProvider provider;
      return AcquireAes(&provider);
    });
    TimeStep(step("  SHA-256 on the context kept open"),
             [&] { return HashWith(kept.get(), *bytes); });
    TimeStep(step("WriteNewFile (flushed)"),
             [&] { return files.WriteNewFile(flushed + name, *bytes); });
    TimeStep(step("  the same without its flush"),
             [&] { return WriteUnflushed(unflushed + name, *bytes); });
    TimeStep(step("ReadWholeFile of the new file (read back)"),
             [&] { return files.ReadWholeFile(flushed + name, 1 << 20); });
    TimeStep(step("CreateFolder (a bundle's files\\N)"),
             [&] { return files.CreateFolder(folders + std::to_string(++number)); });
    TimeStep(step("AppendToFile (a manifest line, flushed)"),
             [&] { return files.AppendToFile(manifest, line); });
    // The durable floor's own calls (bench/durable_floor.h), and the checks
    // the program's calls make beyond them.
    std::string floor_bytes;
    TimeStep(step("floor: ReadWhole of a link"), [&] { return ReadWhole(path, &floor_bytes); });
    TimeStep(step("floor: WriteNewFlushed"),
             [&] { return WriteNewFlushed(floor_files + name, *bytes); });
    TimeStep(step("floor: ReadWhole of the new file (read back)"),
             [&] { return ReadWhole(floor_files + name, &floor_bytes); });
    TimeStep(step("floor: CreateDirectory (a files\\N)"), [&] {
      return CreateDirectoryA((floor_folders + std::to_string(number)).c_str(), nullptr);
    });
    TimeStep(step("floor: AppendFlushed (FILE_APPEND_DATA)"),
             [&] { return AppendFlushed(manifest, line); });
    TimeStep(step("floor: ComposeWithoutArguments (load, compose)"),
             [&] { return ComposeWithoutArguments(path, &floor_bytes); });
    {
      ScopedFileHandle open(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      BY_HANDLE_FILE_INFORMATION information;
      TimeStep(step("  GetFileInformationByHandle of an open link"),
               [&] { return GetFileInformationByHandle(open.get(), &information); });
      using InfoExFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
      static const auto info_ex = reinterpret_cast<InfoExFn>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx")));
      // FILE_STANDARD_INFO, which the headers show only to programs for Vista on.
      struct {
        LARGE_INTEGER allocation_size, end_of_file;
        DWORD links;
        BOOLEAN delete_pending, directory;
      } standard;
      if (info_ex) {
        TimeStep(step("  GetFileInformationByHandleEx, standard"),
                 [&] { return info_ex(open.get(), 1, &standard, sizeof standard); });
      }
      TimeStep(step("  OpenedWhereNamed of an open link"),
               [&] { return OpenedWhereNamed(open.get(), path); });
    }
    TimeStep(step("  LinkOnTheWay of a link's path"), [&] { return LinkOnTheWay(path, true); });
    TimeStep(step("FindEntries of ~qinghe-* beside 1,000 links"),
             [&] { return files.FindEntries(places.desktop + "~qinghe-*").size(); });
    const auto source = TimeStep(step("ReadLinkToRewrite (load and read)"),
                                 [&] { return shell.ReadLinkToRewrite(path); });
    if (!source) continue;
    const auto composed = TimeStep(step("ComposeLinkWithoutArguments"), [&] {
      return shell.ComposeLinkWithoutArguments(*source, "composed");
    });
    if (!composed) continue;
    ComposeSteps(path, step);
    TimeStep(step("ParsesAsLink of the composed bytes"),
             [&] { return shell.ParsesAsLink(*composed); });
    TimeStep(step("ReadShortcut (load, arguments only)"), [&] {
      Text arguments;
      ShortcutFields fields;
      fields.arguments = &arguments;
      return shell.ReadShortcut(path, fields);
    });
    TimeStep(step("UnpredictableToken"), [&] { return files.UnpredictableToken(); });
    TimeStep(step("PathExists of a link (1,000 in its folder)"),
             [&] { return files.PathExists(path); });
    TimeStep(step("IsFolderLink"), [&] { return files.IsFolderLink(places.desktop + "x"); });
    TimeStep(step("IsPlainFile"), [&] { return files.IsPlainFile(path); });
    TimeStep(step("bare: CopyFile, fail-if-exists"),
             [&] { return CopyFileA(path.c_str(), (copied + name).c_str(), TRUE); });
    // Each half of the links is moved back over itself one way.
    const std::string temporary = path + ".tmp";
    files.WriteNewFile(temporary, *bytes);
    if (number % 2) {
      TimeStep(step("MoveOverFile (the program's)"),
               [&] { return files.MoveOverFile(temporary, path); });
    } else {
      TimeStep(step("bare: MoveFileEx, replace"), [&] {
        return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
      });
    }
  }
  // The write beside a link and the move over it, as the undo makes them
  // (WriteNewFileBeside, MoveOverFile) and as its floor does, in the folder
  // of 1,000 links; then the parts of the program's that the floor lacks.
  for (const std::string& name : links) {
    const std::string path = places.desktop + name;
    std::string bytes;
    if (!ReadWhole(path, &bytes)) continue;
    const auto beside = TimeStep(step("beside: WriteNewFileBeside (the program's)"),
                                 [&] { return WriteNewFileBeside(files, path, bytes); });
    if (!beside) continue;
    TimeStep(step("beside: MoveOverFile of it (the program's)"),
             [&] { return files.MoveOverFile(*beside, path); });
    const std::string plain = path + ".undo";
    TimeStep(step("beside: floor's WriteNewFlushed"),
             [&] { return WriteNewFlushed(plain, bytes); });
    TimeStep(step("beside: floor's MoveFileEx"),
             [&] { return MoveFileExA(plain.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING); });
    // The program's name holds a '~', which OpenedWhereNamed takes for a
    // short name to be made long.
    const std::string tilde = places.desktop + "~qinghe-" + files.UnpredictableToken() + ".tmp";
    TimeStep(step("beside: floor's WriteNewFlushed, a ~qinghe- name"),
             [&] { return WriteNewFlushed(tilde, bytes); });
    {
      ScopedFileHandle open(CreateFileA(tilde.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
      TimeStep(step("  OpenedWhereNamed of the ~qinghe- file"),
               [&] { return OpenedWhereNamed(open.get(), tilde); });
      TimeStep(step("  OpenedWhereNamed, a path with no '~'"),
               [&] { return OpenedWhereNamed(open.get(), path); });
      BY_HANDLE_FILE_INFORMATION information;
      TimeStep(step("  GetFileInformationByHandle of it"),
               [&] { return GetFileInformationByHandle(open.get(), &information); });
    }
    wchar_t wide[MAX_PATH], long_form[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, tilde.c_str(), -1, wide, MAX_PATH);
    TimeStep(step("  GetLongPathNameW of the ~qinghe- path"),
             [&] { return GetLongPathNameW(wide, long_form, MAX_PATH); });
    DeleteFileA(tilde.c_str());
  }
  std::printf("\neach step, one at a time over %zu desktop links\n", links.size());
  std::printf("  %-46s %9s\n", "step", "us/call");
  for (const Step& known : steps) {
    std::printf("  %-46s %9.0f\n", known.name, 1000 * known.tally.ms / known.tally.calls);
  }
  std::printf("peak working set over the hashes with no context open: %.1f -> %.1f MiB\n",
              peak_before_hashes, peak_after_hashes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bundle_steps LNK-PROBE DESKTOP QUICK-LAUNCH\n");
    return 2;
  }
  const char* probe = argv[1];
  const int desktop_links = std::atoi(argv[2]), quick_links = std::atoi(argv[3]);
  const int links = desktop_links + quick_links;
  const SeededFolders places = FindPlaces();
  ScopedComInitializer com;
  Tallies tallies;
  TimedMachine machine(tallies);
  QuietHost host;
  const auto run = [&](const char* name, auto body) {
    tallies.Clear();
    const double peak = PeakWorkingSetMib();
    const double start = NowMs();
    body();
    const double elapsed = NowMs() - start;
    PrintRun(name, elapsed, tallies, links, peak, PeakWorkingSetMib());
  };
  std::printf("%d desktop and %d quick-launch shortcuts, in one process\n", desktop_links,
              quick_links);
  {
    // First of all in the process: what the hashes alone add to its peak
    // working set, made as the program makes them (a context each).
    const std::string bytes(1500, 'x');
    const double peak = PeakWorkingSetMib();
    Sha256Hex(bytes);
    const double after_one = PeakWorkingSetMib();
    for (int i = 1; i < 2 * links; ++i) Sha256Hex(bytes);
    std::printf(
        "\nhashes as the program makes them, first thing in the process: peak working "
        "set %.1f MiB, after one %.1f MiB, after %d %.1f MiB\n",
        peak, after_one, 2 * links, PeakWorkingSetMib());
  }
  if (!SeedMachine(places, probe, desktop_links, quick_links)) return 1;
  run("RunCheck", [&] { RunCheck(machine.platform, host); });
  run("  of it, PlanShortcuts alone", [&] {
    PlanContext context(machine.platform, host, PlanFor::kCheck, Text());
    Plan plan;
    PlanShortcuts(context, plan);
  });
  run("RunRepairSequence", [&] { RunRepairSequence(machine.platform, host); });
  const std::vector<Text> bundles = ListBundles(machine.platform);
  if (bundles.empty()) return 1;
  run("  ReadBundleForUndo alone", [&] {
    Text why;
    ReadBundleForUndo(machine.platform, RepairPlaces(), bundles.front(), &why);
  });
  run("RunUndo", [&] { RunUndo(machine.platform, host); });
  if (!SeedMachine(places, probe, desktop_links, 0)) return 1;
  TimeSteps(places);
  return 0;
}
