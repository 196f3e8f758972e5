// Writes a link with every field chosen, straight through the shell's link
// object: the tests' way to seed links that the operations under test read.
#pragma once

#include <windows.h>

#include <string>

struct LinkSpec {
  std::string target;
  std::string arguments;
  std::string working_directory;
  std::string description;
  std::string icon_path;
  int icon_index = 0;
  int show_command = SW_SHOWNORMAL;
  WORD hotkey = 0;
};

// The result of IPersistFile::Save, or the first error on the way there.
// Setter results of S_FALSE (a target that does not exist) are not errors.
HRESULT WriteLinkThroughShell(const std::string& path, const LinkSpec& wanted);
