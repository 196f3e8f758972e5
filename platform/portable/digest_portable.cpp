#include <openssl/evp.h>

#include "platform/digest.h"

Text Sha256Hex(std::string_view bytes) {
  unsigned char value[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), value, &size, EVP_sha256(), nullptr) || size != 32) {
    return Text();
  }
  static const char kHex[] = "0123456789abcdef";
  Text hex;
  for (unsigned int at = 0; at < size; ++at) {
    hex += kHex[value[at] >> 4];
    hex += kHex[value[at] & 15];
  }
  return hex;
}
