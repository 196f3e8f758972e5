// A test fixture's machine on the portable backend: a throwaway drive
// folder, a registry in memory and the link codec, as the engine sees them.
// Each fixture maps the drive and sets its special folders in its SetUp.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "platform/portable/files_portable.h"
#include "platform/portable/registry_portable.h"
#include "platform/portable/shell_links_portable.h"
#include "tests/support/temp_folder.h"

class PortableMachineTest : public ::testing::Test {
 protected:
  TempFolder temp_;
  std::string drive_ = temp_.path();
  MemoryRegistry registry_;
  RegistryOverCalls registry_items_{registry_};
  PortableFileSystem files_;
  PortableShellLinks links_{files_};
  Platform machine_{registry_items_, files_, links_};
};
