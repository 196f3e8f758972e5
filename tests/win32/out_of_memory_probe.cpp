// Asks for more memory than a 32-bit process can have, through the programs'
// own runtime: it must end the program with its message and exit code, not
// crash and not return.
// Usage: out_of_memory_probe new|string
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  if (std::strcmp(argv[1], "new") == 0) {
    volatile auto* block = new char[0x7ff00000u];
    block[0] = 1;
  } else if (std::strcmp(argv[1], "string") == 0) {
    std::string text(16, 'x');
    // Doubles until the allocation or the length check fails.
    for (;;) text += text;
  }
  return 0;
}
