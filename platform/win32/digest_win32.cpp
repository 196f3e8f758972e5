#include <windows.h>
// After windows.h, which it needs.
#include <wincrypt.h>

#include <algorithm>

#include "platform/digest.h"
#include "platform/win32/scoped_handle.h"

namespace {

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

// The provider that has SHA-256: the type's default, and on Windows XP SP3,
// where the default may be unset, the AES provider under its XP name.
bool AcquireAesProvider(ScopedCryptProvider* provider) {
  for (const char* name : {static_cast<const char*>(nullptr), MS_ENH_RSA_AES_PROV_XP_A}) {
    if (CryptAcquireContextA(provider->Receive(), nullptr, name, PROV_RSA_AES,
                             CRYPT_VERIFYCONTEXT)) {
      return true;
    }
  }
  return false;
}

// Acquiring a provider loads and sets up its DLL each time (6 to 7 ms under
// Wine, a repair hashes three times a link), so the process keeps the first
// one it gets until it ends. Hashes are made on one thread at a time.
HCRYPTPROV KeptAesProvider() {
  static ScopedCryptProvider kept = [] {
    ScopedCryptProvider provider;
    AcquireAesProvider(&provider);
    return provider;
  }();
  return kept.get();
}

}  // namespace

Text Sha256Hex(std::string_view bytes) {
  ScopedCryptProvider own;
  HCRYPTPROV provider = KeptAesProvider();
  if (!provider) {
    if (!AcquireAesProvider(&own)) return Text();
    provider = own.get();
  }
  ScopedCryptHash hash;
  // Before XP SP3 there is no SHA-256 in CryptoAPI: CryptCreateHash fails.
  if (!CryptCreateHash(provider, CALG_SHA_256, 0, 0, hash.Receive())) return Text();
  for (std::size_t done = 0; done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    if (!CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data() + done), chunk, 0)) {
      return Text();
    }
    done += chunk;
  }
  BYTE value[32];
  DWORD size = sizeof value;
  if (!CryptGetHashParam(hash.get(), HP_HASHVAL, value, &size, 0) || size != sizeof value) {
    return Text();
  }
  return HexDigits(std::string_view(reinterpret_cast<const char*>(value), sizeof value));
}
