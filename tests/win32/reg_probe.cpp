// The registry tree and registry file operations, driven from a shell test.
// A key is given as VIEW:ROOT\PATH, VIEW one of own, 32, 64 and ROOT one of
// HKCU, HKLM, HKCR, HKU, HKCC.
//
//   reg_probe dump KEY...              every value of each tree, one sorted line each
//   reg_probe export FILE KEY...       the trees as a registry file
//   reg_probe delete KEY...            each tree deleted
//   reg_probe exists KEY               exit 0 when the key is there, 3 when not
//   reg_probe set KEY NAME TYPE HEX    one value written with exactly those bytes
//   reg_probe compose FILE ITEM...     a file of deletions, each ITEM either
//                                      "delete-key FULL-KEY" or "delete-value FULL-KEY NAME"
//   reg_probe restore FILE             a registry file applied through the tree operations
//
// Exit status 0 on success, 1 on a failure (said on standard error), 2 on a
// bad command line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/reg_file.h"
#include "platform/registry_tree.h"
#include "platform/win32/registry_win32.h"

namespace {

struct KeySpec {
  RegView view = RegView::kOwn;
  RegRoot root = RegRoot::kCurrentUser;
  Text path;
};

bool ParseKey(const std::string& arg, KeySpec* key) {
  const std::size_t colon = arg.find(':');
  const std::size_t slash = arg.find('\\');
  if (colon == std::string::npos || slash == std::string::npos || slash < colon) return false;
  const std::string view = arg.substr(0, colon), root = arg.substr(colon + 1, slash - colon - 1);
  if (view == "own") {
    key->view = RegView::kOwn;
  } else if (view == "32") {
    key->view = RegView::k32Bit;
  } else if (view == "64") {
    key->view = RegView::k64Bit;
  } else {
    return false;
  }
  const struct {
    const char* name;
    RegRoot root;
  } roots[] = {{"HKCU", RegRoot::kCurrentUser},
               {"HKLM", RegRoot::kLocalMachine},
               {"HKCR", RegRoot::kClassesRoot},
               {"HKU", RegRoot::kUsers},
               {"HKCC", RegRoot::kCurrentConfig}};
  for (const auto& known : roots) {
    if (root == known.name) {
      key->root = known.root;
      key->path = arg.substr(slash + 1);
      return true;
    }
  }
  return false;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  return hex;
}

bool FromHex(const std::string& hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = hex.substr(i, 2);
    const long byte = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    bytes->push_back(static_cast<char>(byte));
  }
  return true;
}

void DumpTree(const std::string& place, const Text& below, const RegKeyTree& tree,
              std::vector<std::string>* lines) {
  lines->push_back(place + "|" + below + "|key");
  for (const auto& [name, value] : tree.values) {
    lines->push_back(place + "|" + below + "|" + name + "|" + std::to_string(value.type) + "|" +
                     Hex(value.bytes));
  }
  for (const auto& [name, subtree] : tree.subkeys) {
    DumpTree(place, below + "\\" + name, subtree, lines);
  }
}

// A key's entries as regedit lists them: the key, its values, then each
// subkey in turn.
void AddEntries(const KeySpec& key, const Text& path, const RegKeyTree& tree,
                std::vector<RegFileEntry>* entries) {
  RegFileEntry entry;
  entry.key = RegFileKeyName(key.root, key.view, path);
  entries->push_back(entry);
  for (const auto& [name, value] : tree.values) {
    entry.kind = RegFileEntry::Kind::kValue;
    entry.name = name;
    entry.value = value;
    entries->push_back(entry);
  }
  for (const auto& [name, subtree] : tree.subkeys) {
    AddEntries(key, path + "\\" + name, subtree, entries);
  }
}

// Where a file's key name leads: the inverse of RegFileKeyName, with the
// plain name in the 64-bit view where there are two.
bool KeyOfFileName(const Text& name, bool two_views, KeySpec* key) {
  const struct {
    const char* name;
    RegRoot root;
  } roots[] = {{"HKEY_CURRENT_USER\\", RegRoot::kCurrentUser},
               {"HKEY_LOCAL_MACHINE\\", RegRoot::kLocalMachine},
               {"HKEY_CLASSES_ROOT\\", RegRoot::kClassesRoot},
               {"HKEY_USERS\\", RegRoot::kUsers},
               {"HKEY_CURRENT_CONFIG\\", RegRoot::kCurrentConfig}};
  for (const auto& known : roots) {
    const std::string prefix = known.name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    key->root = known.root;
    key->path = name.substr(prefix.size());
    key->view = two_views ? RegView::k64Bit : RegView::kOwn;
    // The first name is SOFTWARE, in any case, exactly when RegFileKeyName
    // puts WOW6432Node after it.
    const Text wow = "WOW6432Node";
    if (two_views && key->root == RegRoot::kLocalMachine && key->path.size() > 9 + wow.size() &&
        RegFileKeyName(RegRoot::kLocalMachine, RegView::k32Bit, key->path.substr(0, 8)) ==
            prefix + key->path.substr(0, 9) + wow &&
        key->path.compare(9, wow.size(), wow) == 0) {
      key->path.erase(8, 1 + wow.size());
      key->view = RegView::k32Bit;
    }
    return true;
  }
  return false;
}

bool ReadFile(const char* path, std::string* bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes->append(buffer, got);
  }
  std::fclose(file);
  return true;
}

bool WriteFile(const char* path, const std::string& bytes) {
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "reg_probe: %s\n", what.c_str());
  return 1;
}

int Usage() {
  std::fprintf(stderr, "reg_probe: see the comment at the top of reg_probe.cpp\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  Win32RegistryCalls calls;

  if (command == "dump" || command == "export" || command == "delete") {
    std::size_t first = command == "export" ? 1 : 0;
    if (args.size() <= first) return Usage();
    std::vector<std::string> lines;
    std::vector<RegFileEntry> entries;
    for (std::size_t i = first; i < args.size(); ++i) {
      KeySpec key;
      if (!ParseKey(args[i], &key)) return Usage();
      if (command == "delete") {
        if (!DeleteRegKeyTree(calls, key.view, key.root, key.path))
          return Fail("delete " + args[i]);
        continue;
      }
      std::optional<RegKeyTree> tree;
      if (!ReadRegKeyTree(calls, key.view, key.root, key.path, &tree)) {
        return Fail("read " + args[i]);
      }
      if (!tree) {
        lines.push_back(args[i] + "|absent");
        continue;
      }
      DumpTree(args[i], "", *tree, &lines);
      AddEntries(key, key.path, *tree, &entries);
    }
    if (command == "export") {
      const std::string file = WriteRegFile(entries);
      if (file.empty()) return Fail("a name no registry file can carry");
      return WriteFile(args[0].c_str(), file) ? 0 : Fail("cannot write " + args[0]);
    }
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return 0;
  }

  if (command == "exists" && args.size() == 1) {
    KeySpec key;
    if (!ParseKey(args[0], &key)) return Usage();
    return RegKeyExists(calls, key.view, key.root, key.path) ? 0 : 3;
  }

  if (command == "set" && args.size() == 4) {
    KeySpec key;
    RegRawValue value;
    value.type = static_cast<std::uint32_t>(std::strtoul(args[2].c_str(), nullptr, 0));
    if (!ParseKey(args[0], &key) || !FromHex(args[3], &value.bytes)) return Usage();
    return WriteRegValue(calls, key.view, key.root, key.path, args[1], value) ? 0 : Fail("set");
  }

  if (command == "compose" && !args.empty()) {
    std::vector<RegFileEntry> entries;
    for (std::size_t i = 1; i < args.size(); ++i) {
      RegFileEntry entry;
      if (args[i] == "delete-key" && i + 1 < args.size()) {
        entry.kind = RegFileEntry::Kind::kDeletedKey;
        entry.key = args[++i];
      } else if (args[i] == "delete-value" && i + 2 < args.size()) {
        entry.kind = RegFileEntry::Kind::kDeletedValue;
        entry.key = args[++i];
        entry.name = args[++i];
      } else {
        return Usage();
      }
      entries.push_back(entry);
    }
    const std::string file = WriteRegFile(entries);
    if (file.empty()) return Fail("a name no registry file can carry");
    return WriteFile(args[0].c_str(), file) ? 0 : Fail("cannot write " + args[0]);
  }

  if (command == "restore" && args.size() == 1) {
    std::string bytes;
    if (!ReadFile(args[0].c_str(), &bytes)) return Fail("cannot read " + args[0]);
    const std::optional<std::vector<RegFileEntry>> entries = ParseRegFile(bytes);
    if (!entries) return Fail("not a registry file this program writes: " + args[0]);
    for (const RegFileEntry& entry : *entries) {
      KeySpec key;
      if (!KeyOfFileName(entry.key, calls.HasTwoViews(), &key)) return Fail("key " + entry.key);
      bool done = false;
      switch (entry.kind) {
        case RegFileEntry::Kind::kKey:
          done = WriteRegKeyTree(calls, key.view, key.root, key.path, RegKeyTree());
          break;
        case RegFileEntry::Kind::kDeletedKey:
          done = DeleteRegKeyTree(calls, key.view, key.root, key.path);
          break;
        case RegFileEntry::Kind::kValue:
          done = WriteRegValue(calls, key.view, key.root, key.path, entry.name, entry.value);
          break;
        case RegFileEntry::Kind::kDeletedValue:
          done = DeleteRegValue(calls, key.view, key.root, key.path, entry.name);
          break;
      }
      if (!done) return Fail("cannot apply an entry of " + entry.key);
    }
    return 0;
  }
  return Usage();
}
