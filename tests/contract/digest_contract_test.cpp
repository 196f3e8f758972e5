// SHA-256 from whichever system this program is built for: libcrypto on
// Linux, CryptoAPI under Wine. The published test vectors, and bytes a text
// routine would stop at or sign-extend.
#include <gtest/gtest.h>

#include <string>

#include "platform/digest.h"

namespace {

TEST(DigestContract, StandardVectors) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(DigestContract, EveryByteCounts) {
  EXPECT_EQ(Sha256Hex(std::string(1, '\0')),
            "6e340b9cffb37a989ca544e6bb780a2c78901d3fb33738768511a30617afa01d");
  std::string all_bytes;
  for (int byte = 0; byte < 256; ++byte) all_bytes += static_cast<char>(byte);
  EXPECT_EQ(Sha256Hex(all_bytes),
            "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880");
  // Code page 936 text, as the program's texts are.
  EXPECT_EQ(Sha256Hex("修复"), "fb6564600fd3dd8f2ac9b2fc0e9df50bce70ec8f770487fe6fa8cdbd20b21e14");
}

TEST(DigestContract, OnlyTheViewIsHashed) {
  const std::string text = "xabcx";
  EXPECT_EQ(Sha256Hex(std::string_view(text).substr(1, 3)), Sha256Hex("abc"));
}

}  // namespace
