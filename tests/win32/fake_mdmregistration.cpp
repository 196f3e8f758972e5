// A stand-in mdmregistration.dll for the Wine tests: it says the PC is
// enrolled in a device-management service, as an organization's enrolled
// PC's does (Wine has none). Put into a throwaway prefix's system folder.
#include <windows.h>

extern "C" __attribute__((dllexport)) HRESULT WINAPI
IsDeviceRegisteredWithManagement(BOOL* registered, DWORD /*upn_size*/, wchar_t* /*upn*/) {
  if (!registered) return E_INVALIDARG;
  *registered = TRUE;
  return S_OK;
}
