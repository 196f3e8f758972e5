// Where a Chromium-family browser is told to install an extension from,
// judged as the browser reads it: the external-extension registrations
// (chrome/browser/extensions/external_registry_loader_win.cc) and the
// ExtensionSettings policy's entries (docs/extensions.md).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_value.h"

// An extension id as Chromium takes one (crx_file::id_util::IdIsValid after
// lower-casing): 32 letters a to p.
bool IsExtensionId(std::string_view name);

// The update address of the Chrome Web Store or of Edge's add-ons store,
// compared as Chromium's IsWebstoreUpdateUrl does (host and path; here only
// over http or https, with no user name or port).
bool IsStoreUpdateUrl(std::string_view url);

// What one registration key makes the browser do. The browser reads a value
// only as a string (REG_SZ, REG_EXPAND_SZ): update_url first, and path with
// version only without one.
struct Registration {
  enum class Source {
    kNone,       // nothing the browser installs: left without a word
    kStore,      // from the store: an installer's companion, left and said
    kOutside,    // from an address or a crx file outside the store: removed
    kWrongType,  // a value the browser cannot read as a string: left and said
  };
  Source source = Source::kNone;
  std::string from;  // UTF-8: the update address or the crx path
};
// Each value null when absent.
Registration JudgeRegistration(const RegRawValue* update_url, const RegRawValue* path,
                               const RegRawValue* version);

// What a JSON file of an old Chromium's extensions folder asks for
// (chrome/browser/extensions/external_pref_loader.cc): `external_extensions.json`
// maps ids to entries (`list`), an `<id>.json` is one entry. An entry names
// external_crx with external_version, or external_update_url. kOutside when
// any entry installs from outside the store (`from` its crx or address),
// kStore when every one installs from the store, kNone otherwise (no entry
// the browser takes, or no JSON object the scanner reads whole).
Registration JudgeExtensionFile(std::string_view json, bool list);

// The members of an ExtensionSettings policy (a JSON object, UTF-8) that
// install an extension (installation_mode "force_installed" or
// "normal_installed"): the text without them, every other byte kept, and how
// many went. nullopt when none does, or the text is no JSON object the
// scanner reads whole.
struct SettingsCut {
  std::string json;  // the text left
  int removed = 0;
  bool nothing_left = false;  // every member went: the value itself goes
};
std::optional<SettingsCut> CutInstallingEntries(std::string_view json);

// True for the installation modes that install an extension.
bool InstallsExtension(std::string_view installation_mode);
