// INI files read as Windows reads them (GetPrivateProfileString): the one
// reader of Internet shortcuts (.url) and Firefox's profiles.ini.
//
// Written here, not taken from inih (Debian's libinih), because inih cannot
// be set to read as Windows does: it always splits a line at ':' as well as
// '=' (a key "URL:x" would read as "URL"), takes a section's name up to its
// first ']' where Windows takes it up to its last, cuts section names at 50
// bytes (two long names would become one) and lines at INI_MAX_LINE, and
// stops a line at its first NUL byte. docs/ad-shortcuts.md gives the rules
// and their sources.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

// One line of an INI file that is no section's header: its key (the text
// before its first '=', or the whole line when it has none) and value, both
// without the spaces and tabs around them, each ending at a NUL byte.
struct IniEntry {
  std::size_t section = 0;  // which of IniFile::sections it lies in
  std::string key;
  std::string value;
  bool has_value = false;  // false for a line without '='
};

struct IniFile {
  // Each section header's name as written between '[' and the line's last
  // ']', in order; the first, "", holds what comes before any header.
  std::vector<std::string> sections;
  std::vector<IniEntry> entries;  // in order
};

// The file's sections and entries. A UTF-8 byte-order mark at the start is
// skipped; after a UTF-16LE one the file is read as UTF-16LE, in the
// program's code page (nothing when a character is not in it); lines end at "\n" (a "\r" before it
// is one of the spaces taken off). No comment syntax: a line starting with ';' is an entry whose
// key starts with ';', which no caller asks for, as Windows keeps it.
IniFile ReadIniFile(std::string_view bytes);

// The value Windows gives for `key` in `section`: the first section of that
// name, the first such key in it, both compared ignoring ASCII letter case;
// nullopt when there is none or it has no '='.
std::optional<std::string> IniValue(const IniFile& file, std::string_view section,
                                    std::string_view key);

// The page an Internet shortcut (.url) opens: its [InternetShortcut] URL=,
// as the shell reads it; nullopt when it names none.
std::optional<std::string> UrlOfInternetShortcut(std::string_view bytes);
