#include "platform/win32/shell_links_win32.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdlib>
#include <vector>

#include "platform/shell_link_names.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/memory_stream.h"
#include "platform/win32/scoped_handle.h"

namespace {

// Each text field is read into a buffer of this many bytes.
constexpr int kFieldBufferSize = 1024;

// A path in UTF-16; false when it does not fit MAX_PATH with its terminator
// (a cut name would be another file).
bool ToWidePath(const Text& name, std::vector<wchar_t>* wide) {
  wide->assign(MAX_PATH, L'\0');
  return MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide->data(), MAX_PATH) != 0;
}

// A link object and its file interface, or neither.
struct LinkObject {
  ScopedComPtr<IShellLinkA> link;
  ScopedComPtr<IPersistFile> file;  // released first, then the link object

  bool Create() {
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.ReceiveVoid()))) {
      return false;
    }
    return SUCCEEDED(link->QueryInterface(IID_IPersistFile, file.ReceiveVoid()));
  }
};

// Reads one text field through `getter(buffer, size)` into a cleared buffer.
template <typename Getter>
Text ReadField(Getter getter) {
  char buffer[kFieldBufferSize] = {};
  getter(buffer, kFieldBufferSize);
  buffer[kFieldBufferSize - 1] = '\0';
  return buffer;
}

// A link object through its UTF-16 interface, with its stream interface.
struct WideLinkObject {
  ScopedComPtr<IShellLinkW> link;
  ScopedComPtr<IPersistStream> stream;

  bool Create() {
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.ReceiveVoid()))) {
      return false;
    }
    return SUCCEEDED(link->QueryInterface(IID_IPersistStream, stream.ReceiveVoid()));
  }
};

// Reads one UTF-16 field through `getter(buffer, size)`; nullopt when it may
// have been cut to the buffer.
template <typename Getter>
std::optional<std::wstring> ReadWideField(Getter getter) {
  wchar_t buffer[kFieldBufferSize] = {};
  getter(buffer, kFieldBufferSize);
  buffer[kFieldBufferSize - 1] = L'\0';
  std::wstring field(buffer);
  if (field.size() >= kFieldBufferSize - 1) return std::nullopt;
  return field;
}

// UTF-16 text as its little-endian bytes, and back (this is x86).
std::string BytesOfWide(const std::wstring& wide) {
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}
std::wstring WideOfBytes(const std::string& bytes) {
  std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
  if (!wide.empty()) CopyMemory(&wide[0], bytes.data(), wide.size() * sizeof(wchar_t));
  return wide;
}

}  // namespace

std::optional<LinkToRewrite> Win32ShellLinks::ReadLinkToRewrite(const Text& link_name) {
  std::vector<wchar_t> wide_name;
  if (!ToWidePath(CompleteLinkNameForRead(link_name), &wide_name)) return std::nullopt;
  WideLinkObject old_link;
  ScopedComPtr<IPersistFile> file;
  if (!old_link.Create() ||
      FAILED(old_link.link->QueryInterface(IID_IPersistFile, file.ReceiveVoid())) ||
      FAILED(file->Load(wide_name.data(), STGM_READ))) {
    return std::nullopt;
  }
  IShellLinkW* old = old_link.link.get();
  const auto target = ReadWideField([old](wchar_t* buffer, int size) {
    return old->GetPath(buffer, size, nullptr, SLGP_UNCPRIORITY);
  });
  const auto raw_target = ReadWideField([old](wchar_t* buffer, int size) {
    return old->GetPath(buffer, size, nullptr, SLGP_RAWPATH);
  });
  const auto working_directory = ReadWideField(
      [old](wchar_t* buffer, int size) { return old->GetWorkingDirectory(buffer, size); });
  const auto arguments =
      ReadWideField([old](wchar_t* buffer, int size) { return old->GetArguments(buffer, size); });
  const auto description =
      ReadWideField([old](wchar_t* buffer, int size) { return old->GetDescription(buffer, size); });
  if (!target || !raw_target || !working_directory) return std::nullopt;
  // A target kept with %VAR% forms is written back in that form: expanded for
  // this 32-bit process it could name another program on 64-bit Windows.
  const std::wstring& kept = raw_target->empty() ? *target : *raw_target;
  // No path, as for a link whose target is only in its ID list: a link
  // written without one would point at nothing. A '?' is in no path: it
  // stands for a character the link object could not give back (Wine keeps
  // a target only in the code page), and written back it would lose it.
  if (kept.empty() || target->size() >= MAX_PATH || kept.size() >= MAX_PATH ||
      kept.find_first_of(L"?*") != std::wstring::npos ||
      working_directory->find_first_of(L"?*") != std::wstring::npos) {
    return std::nullopt;
  }
  LinkToRewrite link;
  link.kept_target = BytesOfWide(kept);
  link.working_directory = BytesOfWide(*working_directory);
  link.arguments = arguments ? AnsiFromWideMarked(*arguments) : Text();
  link.description = description ? AnsiFromWideMarked(*description) : Text();
  return link;
}

std::optional<std::string> Win32ShellLinks::ComposeLinkWithoutArguments(const LinkToRewrite& old,
                                                                        const Text& description) {
  const std::wstring target = WideOfBytes(old.kept_target);
  const std::wstring working_directory = WideOfBytes(old.working_directory);
  WideLinkObject new_link;
  if (!new_link.Create()) return std::nullopt;
  IShellLinkW* link = new_link.link.get();
  bool taken = true;
  const auto take = [&taken](HRESULT result) { taken = SUCCEEDED(result) && taken; };
  take(link->SetPath(target.c_str()));
  take(link->SetShowCmd(SW_SHOW));
  take(link->SetDescription(WideFromAnsi(description).c_str()));
  take(link->SetWorkingDirectory(working_directory.c_str()));
  ScopedComPtr<IStream> stream;
  if (!taken ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE,
                                   reinterpret_cast<IStream**>(stream.ReceiveVoid()))) ||
      FAILED(new_link.stream->Save(stream.get(), TRUE))) {
    return std::nullopt;
  }
  return BytesOfStream(stream.get());
}

std::optional<std::string> Win32ShellLinks::ComposeLinkTo(const Text& target,
                                                          const Text& working_directory,
                                                          const Text& icon_location,
                                                          const Text& description) {
  if (target.size() >= MAX_PATH || working_directory.size() >= MAX_PATH) return std::nullopt;
  WideLinkObject new_link;
  if (!new_link.Create()) return std::nullopt;
  IShellLinkW* link = new_link.link.get();
  bool taken = true;
  const auto take = [&taken](HRESULT result) { taken = SUCCEEDED(result) && taken; };
  take(link->SetPath(WideFromAnsi(target).c_str()));
  take(link->SetShowCmd(SW_SHOW));
  take(link->SetDescription(WideFromAnsi(description).c_str()));
  take(link->SetWorkingDirectory(WideFromAnsi(working_directory).c_str()));
  const std::size_t comma = icon_location.rfind(',');
  if (comma != Text::npos && comma > 0) {
    take(link->SetIconLocation(WideFromAnsi(icon_location.substr(0, comma)).c_str(),
                               std::atoi(icon_location.c_str() + comma + 1)));
  }
  ScopedComPtr<IStream> stream;
  if (!taken ||
      FAILED(CreateStreamOnHGlobal(nullptr, TRUE,
                                   reinterpret_cast<IStream**>(stream.ReceiveVoid()))) ||
      FAILED(new_link.stream->Save(stream.get(), TRUE))) {
    return std::nullopt;
  }
  return BytesOfStream(stream.get());
}

bool Win32ShellLinks::ParsesAsLink(const std::string& bytes) {
  WideLinkObject object;
  ScopedComPtr<IStream> stream;
  return object.Create() && StreamOverBytes(bytes, &stream) &&
         SUCCEEDED(object.stream->Load(stream.get()));
}

Text Win32ShellLinks::ReadShortcut(const Text& link_name, const ShortcutFields& fields) {
  std::vector<wchar_t> wide_name;
  if (!ToWidePath(CompleteLinkNameForRead(link_name), &wide_name)) return Text();
  LinkObject object;
  if (!object.Create() || FAILED(object.file->Load(wide_name.data(), STGM_READ))) return Text();
  IShellLinkA* link = object.link.get();

  const Text target = ReadField([link](char* buffer, int size) {
    return link->GetPath(buffer, size, nullptr, SLGP_UNCPRIORITY);
  });
  const Text arguments =
      ReadField([link](char* buffer, int size) { return link->GetArguments(buffer, size); });
  Text result = target;
  if (!arguments.empty()) result += " " + arguments;

  // Everything is read before any caller variable is written.
  if (fields.raw_target) {
    *fields.raw_target = ReadField([link](char* buffer, int size) {
      return link->GetPath(buffer, size, nullptr, SLGP_RAWPATH);
    });
  }
  if (fields.target) *fields.target = target;
  if (fields.arguments) *fields.arguments = arguments;
  if (fields.working_directory) {
    *fields.working_directory = ReadField(
        [link](char* buffer, int size) { return link->GetWorkingDirectory(buffer, size); });
  }
  if (fields.icon_location) {
    int index = 0;
    const Text path = ReadField([link, &index](char* buffer, int size) {
      return link->GetIconLocation(buffer, size, &index);
    });
    char number[16];  // the index may be negative: a resource id
    wsprintfA(number, "%d", index);
    *fields.icon_location = path + "," + number;
  }
  if (fields.show_command) {
    int show_command = SW_SHOWNORMAL;
    link->GetShowCmd(&show_command);
    *fields.show_command = show_command == SW_SHOWMINNOACTIVE ? SW_SHOWMINIMIZED : show_command;
  }
  if (fields.hotkey || fields.hotkey_text) {
    WORD hotkey = 0;
    link->GetHotkey(&hotkey);
    if (fields.hotkey) *fields.hotkey = hotkey;
    if (fields.hotkey_text) *fields.hotkey_text = HotkeyText(hotkey);
  }
  if (fields.description) {
    *fields.description =
        ReadField([link](char* buffer, int size) { return link->GetDescription(buffer, size); });
  }
  return result;
}

bool Win32ShellLinksWithCreate::CreateShortcut(const Text& link_name, const Text& target,
                                               const std::optional<Text>& description,
                                               const std::optional<Text>& arguments,
                                               const std::optional<Text>& working_directory) {
  std::vector<wchar_t> wide_name;
  if (!ToWidePath(CompleteLinkNameForCreate(link_name), &wide_name)) return false;
  // The shell keeps targets in MAX_PATH buffers; a longer one would be stored
  // cut or as garbage, so it is refused before anything is written.
  std::vector<wchar_t> wide_target;
  if (!ToWidePath(target, &wide_target)) return false;
  LinkObject object;
  if (!object.Create()) return false;
  IShellLinkA* link = object.link.get();

  // Setters return S_FALSE for things the link still holds (a target that does
  // not exist yet); only an error code means the field was not taken.
  bool taken = true;
  const auto take = [&taken](HRESULT result) { taken = SUCCEEDED(result) && taken; };
  take(link->SetPath(target.c_str()));
  take(link->SetShowCmd(SW_SHOW));
  if (description) take(link->SetDescription(description->c_str()));
  if (arguments) take(link->SetArguments(arguments->c_str()));
  if (working_directory) take(link->SetWorkingDirectory(working_directory->c_str()));
  if (!taken) return false;
  return SUCCEEDED(object.file->Save(wide_name.data(), TRUE));
}

void Win32ShellLinks::NotifyShellItemsChanged() {
  // What a namespace extension's installer says: every class and icon may
  // have changed.
  SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
