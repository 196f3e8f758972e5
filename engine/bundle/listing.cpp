#include "engine/bundle/listing.h"

#include <algorithm>
#include <cstdlib>

#include "engine/bundle/format.h"
#include "platform/sorting.h"

Text BundlesFolder(FileSystem& files) {
  const Text local = files.GetSpecialFolder(kLocalAppDataFolder);
  return local.empty() ? Text() : local + "qinghe\\repairs\\";
}

std::vector<Text> ListBundles(Platform& machine) {
  std::vector<Text> bundles;
  const Text repairs = BundlesFolder(machine.files);
  if (repairs.empty()) return bundles;
  for (const FolderEntry& entry : machine.files.FindEntries(repairs + "*")) {
    if (!entry.is_folder || entry.is_link || entry.name.size() < 15) continue;
    // "YYYYMMDD-HHMMSS", perhaps with "-N".
    const Text stamp = entry.name.substr(0, 15);
    if (stamp[8] != '-' || stamp.substr(0, 8).find_first_not_of("0123456789") != Text::npos ||
        stamp.substr(9).find_first_not_of("0123456789") != Text::npos) {
      continue;
    }
    bundles.push_back(repairs + entry.name);
  }
  // Newest first: the stamp sorts as text; a suffix sorts by its number.
  SortItems(bundles, [](const Text& a, const Text& b) {
    const auto key = [](const Text& path) {
      const Text name = FileNameOf(path);
      const int suffix = name.size() > 16 ? std::atoi(name.c_str() + 16) : 1;
      return std::make_pair(name.substr(0, 15), suffix);
    };
    return key(a) > key(b);
  });
  return bundles;
}

bool BundleIsUndone(Platform& machine, const Text& folder) {
  return machine.files.PathExists(folder + "\\" + kUndoneName);
}

bool MarkBundleUndone(Platform& machine, const Text& folder) {
  return machine.files.WriteNewFile(folder + kUndoneName, "undone\r\n") != NewFile::kFailed;
}
