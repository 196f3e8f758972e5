#include "tests/support/shell_link_writer_win32.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "platform/win32/scoped_handle.h"

HRESULT WriteLinkThroughShell(const std::string& path, const LinkSpec& wanted) {
  ScopedComPtr<IShellLinkA> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.ReceiveVoid());
  if (FAILED(hr)) return hr;
  ScopedComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, file.ReceiveVoid());
  if (FAILED(hr)) return hr;

  const HRESULT results[] = {
      link->SetPath(wanted.target.c_str()),
      link->SetArguments(wanted.arguments.c_str()),
      link->SetWorkingDirectory(wanted.working_directory.c_str()),
      link->SetDescription(wanted.description.c_str()),
      link->SetIconLocation(wanted.icon_path.c_str(), wanted.icon_index),
      link->SetShowCmd(wanted.show_command),
      link->SetHotkey(wanted.hotkey),
  };
  for (HRESULT result : results) {
    if (FAILED(result)) return result;
  }
  wchar_t wide[MAX_PATH];
  if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)) return E_INVALIDARG;
  return file->Save(wide, TRUE);
}
