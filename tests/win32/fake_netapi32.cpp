// A stand-in netapi32.dll for the Wine tests: it says the PC is joined to
// the domain "QINGHE-TEST", as a domain member's netapi32 does. Put into a
// throwaway prefix's system folder and loaded natively.
#include <windows.h>

namespace {

// NETSETUP_JOIN_STATUS's NetSetupDomainName.
constexpr int kDomainName = 3;

}  // namespace

extern "C" __attribute__((dllexport)) DWORD WINAPI NetGetJoinInformation(const wchar_t* /*server*/,
                                                                         wchar_t** name,
                                                                         int* status) {
  if (!name || !status) return ERROR_INVALID_PARAMETER;
  static const wchar_t kDomain[] = L"QINGHE-TEST";
  // The caller frees the name with NetApiBufferFree, as the real one asks.
  auto* buffer = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, sizeof kDomain));
  if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
  CopyMemory(buffer, kDomain, sizeof kDomain);
  *name = buffer;
  *status = kDomainName;
  return 0;
}

extern "C" __attribute__((dllexport)) DWORD WINAPI NetApiBufferFree(void* buffer) {
  if (buffer) LocalFree(buffer);
  return 0;
}
