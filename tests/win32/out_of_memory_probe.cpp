// Asks for more memory than the process can have, through the programs' own
// runtime: it must end the program with its message and exit code, not
// crash and not return. A 64-bit process's address space is larger than any
// machine's memory, so there the request is past the address space itself
// rather than one the machine would try to meet.
// Usage: out_of_memory_probe new|string
#include <cstddef>
#include <cstring>
#include <string>

namespace {

constexpr bool k64Bit = sizeof(void*) == 8;
// 2 GiB less 1 MiB for a 32-bit process; 4 EiB for a 64-bit one.
constexpr std::size_t kTooLarge = k64Bit ? std::size_t{1} << 62 : 0x7ff00000u;

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (std::strcmp(argv[1], "new") == 0) {
    volatile auto* block = new char[kTooLarge];
    block[0] = 1;
  } else if (std::strcmp(argv[1], "string") == 0) {
    std::string text(16, 'x');
    // Grows past the address space at once (64-bit), or doubles until the
    // allocation or the length check fails (32-bit).
    if (k64Bit) text.append(text.max_size() - text.size(), 'x');
    for (;;) text += text;
  }
  return 0;
}
