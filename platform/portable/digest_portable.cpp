#include <openssl/evp.h>

#include "platform/digest.h"

Text Sha256Hex(std::string_view bytes) {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), value, &size, EVP_sha256(), nullptr) || size != 32) {
    return Text();
  }
  return HexDigits(std::string_view(reinterpret_cast<const char*>(value), size));
}
