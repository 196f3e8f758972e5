// What only Windows shows of elevation and private folders: the access list
// a private folder is made with, how a descriptor is judged, and what the
// system keeps of either.
//
// Wine (8.0) keeps no access lists: a folder made with one keeps only the
// mode bits Wine derives from it, and every file reports the user as its
// owner. OthersMayWrite there counts the one account as no "other" and
// judges the list made from the mode bits. That the owner and the protected
// list reach the disk, that what is made inside inherits them, and that
// OthersMayWrite is false for a private folder by its owner and list, are
// checked only on Windows run elevated. Wine runs every program with an administrator's full
// token, so IsElevated's false answer, and the Windows XP path that asks for
// membership of the Administrators group, are not exercised under Wine.
#include <windows.h>
// After windows.h, which it needs.
#include <sddl.h>

#include <vector>

#include "platform/win32/file_security.h"
#include "platform/win32/files_win32.h"
#include "tests/contract/sandbox.h"
#include "tests/win32/wine_differences.h"

namespace {

struct Sid {
  explicit Sid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = sizeof bytes;
    valid = CreateWellKnownSid(type, nullptr, bytes, &size) != FALSE;
  }
  explicit Sid(const char* text) {
    PSID made = nullptr;
    valid = ConvertStringSidToSidA(text, &made) && CopySid(sizeof bytes, bytes, made);
    LocalFree(made);
  }
  PSID get() { return bytes; }
  BYTE bytes[SECURITY_MAX_SID_SIZE] = {};
  bool valid = false;
};

// A descriptor built ACE by ACE, to be judged.
class Descriptor {
 public:
  explicit Descriptor(PSID owner) {
    InitializeAcl(acl(), sizeof acl_, ACL_REVISION_DS);
    InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION);
    if (owner) SetSecurityDescriptorOwner(&descriptor_, owner, FALSE);
    SetSecurityDescriptorDacl(&descriptor_, TRUE, acl(), FALSE);
  }
  Descriptor& Allow(PSID sid, ACCESS_MASK mask, DWORD flags = 0) {
    EXPECT_TRUE(AddAccessAllowedAceEx(acl(), ACL_REVISION_DS, flags, mask, sid));
    return *this;
  }
  Descriptor& Deny(PSID sid, ACCESS_MASK mask) {
    EXPECT_TRUE(AddAccessDeniedAceEx(acl(), ACL_REVISION_DS, 0, mask, sid));
    return *this;
  }
  // Gives the ACE at `index` another type; Wine cannot add an object ACE.
  Descriptor& Retype(DWORD index, BYTE type) {
    ACE_HEADER* ace = nullptr;
    EXPECT_TRUE(GetAce(acl(), index, reinterpret_cast<void**>(&ace)));
    if (ace) ace->AceType = type;
    return *this;
  }
  Descriptor& NoList() {
    SetSecurityDescriptorDacl(&descriptor_, FALSE, nullptr, FALSE);
    return *this;
  }
  Descriptor& NullList() {
    SetSecurityDescriptorDacl(&descriptor_, TRUE, nullptr, FALSE);
    return *this;
  }
  PSECURITY_DESCRIPTOR get() { return &descriptor_; }

 private:
  PACL acl() { return reinterpret_cast<PACL>(acl_); }
  DWORD acl_[256] = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
};

class FileSecurity : public ::testing::Test {
 protected:
  Sid administrators_{WinBuiltinAdministratorsSid};
  Sid system_{WinLocalSystemSid};
  Sid users_{WinBuiltinUsersSid};
  Sid everyone_{WinWorldSid};
  Sid creator_owner_{WinCreatorOwnerSid};
  Sid trusted_installer_{"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"};
  Sid someone_{"S-1-5-21-1-2-3-1000"};
};

TEST_F(FileSecurity, PrivateFolderSecurityIsOwnedAndWrittenByAdministratorsAndSystemOnly) {
  ASSERT_TRUE(administrators_.valid && system_.valid && someone_.valid);
  EXPECT_TRUE(EqualSid(AdministratorsSid(), administrators_.get()));
  EXPECT_TRUE(EqualSid(LocalSystemSid(), system_.get()));
  PrivateFolderSecurity security(someone_.get());
  ASSERT_NE(security.attributes(), nullptr);
  EXPECT_EQ(security.attributes()->nLength, sizeof(SECURITY_ATTRIBUTES));
  EXPECT_FALSE(security.attributes()->bInheritHandle);
  PSECURITY_DESCRIPTOR descriptor = security.attributes()->lpSecurityDescriptor;
  ASSERT_TRUE(IsValidSecurityDescriptor(descriptor));

  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  PSID owner = nullptr;
  BOOL defaulted = TRUE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
  EXPECT_TRUE(owner && EqualSid(owner, administrators_.get()));
  EXPECT_FALSE(defaulted);

  BOOL present = FALSE;
  PACL acl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl);
  ASSERT_EQ(acl->AceCount, 3);
  const struct {
    PSID sid;
    ACCESS_MASK mask;
  } expected[] = {{administrators_.get(), FILE_ALL_ACCESS},
                  {system_.get(), FILE_ALL_ACCESS},
                  {someone_.get(), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};
  for (DWORD index = 0; index < 3; ++index) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, index, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE) << index;
    // Passed on to every file and folder made inside, and applying here too.
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) << index;
    EXPECT_EQ(ace->Mask, expected[index].mask) << index;
    EXPECT_TRUE(EqualSid(&ace->SidStart, expected[index].sid)) << index;
  }
  EXPECT_FALSE(LetsOthersWrite(descriptor));
}

TEST_F(FileSecurity, PrivateFolderSecurityNeedsAReader) {
  BYTE not_a_sid[SECURITY_MAX_SID_SIZE] = {};
  PrivateFolderSecurity security(not_a_sid);
  EXPECT_EQ(security.attributes(), nullptr);
}

TEST_F(FileSecurity, TrustedOwnersWithReadingOthersKeepOthersOut) {
  for (PSID owner : {administrators_.get(), system_.get(), trusted_installer_.get()}) {
    Descriptor descriptor(owner);
    descriptor.Allow(administrators_.get(), FILE_ALL_ACCESS)
        .Allow(system_.get(), GENERIC_ALL, CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE)
        .Allow(trusted_installer_.get(), FILE_ALL_ACCESS)
        .Allow(users_.get(), FILE_GENERIC_READ | FILE_GENERIC_EXECUTE)
        .Allow(everyone_.get(), GENERIC_READ | GENERIC_EXECUTE,
               INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE)
        // Whoever makes a file inside owns it; only the trusted may make one.
        .Allow(creator_owner_.get(), GENERIC_ALL, INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE);
    EXPECT_FALSE(LetsOthersWrite(descriptor.get()));
  }
}

TEST_F(FileSecurity, AnUntrustedOwnerMayAlwaysChangeTheList) {
  for (PSID owner : {someone_.get(), users_.get(), everyone_.get(), creator_owner_.get()}) {
    Descriptor descriptor(owner);
    descriptor.Allow(administrators_.get(), FILE_ALL_ACCESS);
    EXPECT_TRUE(LetsOthersWrite(descriptor.get()));
  }
  Descriptor no_owner(nullptr);
  no_owner.Allow(administrators_.get(), FILE_ALL_ACCESS);
  EXPECT_TRUE(LetsOthersWrite(no_owner.get()));
}

TEST_F(FileSecurity, EveryWritingRightToOthersCounts) {
  const ACCESS_MASK rights[] = {FILE_WRITE_DATA, FILE_APPEND_DATA, FILE_DELETE_CHILD,
                                WRITE_DAC,       WRITE_OWNER,      GENERIC_WRITE,
                                GENERIC_ALL,     FILE_ALL_ACCESS};
  for (ACCESS_MASK right : rights) {
    for (DWORD flags : {0ul, static_cast<DWORD>(INHERIT_ONLY_ACE | OBJECT_INHERIT_ACE)}) {
      Descriptor descriptor(administrators_.get());
      descriptor.Allow(administrators_.get(), FILE_ALL_ACCESS).Allow(users_.get(), right, flags);
      EXPECT_TRUE(LetsOthersWrite(descriptor.get())) << std::hex << right << " " << flags;
    }
  }
}

TEST_F(FileSecurity, DenyingTakesNothingAwayFromTheJudgement) {
  Descriptor denied(administrators_.get());
  denied.Deny(everyone_.get(), FILE_ALL_ACCESS).Allow(administrators_.get(), FILE_ALL_ACCESS);
  EXPECT_FALSE(LetsOthersWrite(denied.get()));
  // A deny before an allow is passed over: the allow still counts.
  Descriptor allowed(administrators_.get());
  allowed.Deny(users_.get(), FILE_WRITE_DATA).Allow(users_.get(), FILE_WRITE_DATA);
  EXPECT_TRUE(LetsOthersWrite(allowed.get()));
}

TEST_F(FileSecurity, NoListANullListAndUnknownAcesLetOthersWrite) {
  Descriptor none(administrators_.get());
  EXPECT_TRUE(LetsOthersWrite(none.NoList().get()));
  Descriptor null_list(administrators_.get());
  EXPECT_TRUE(LetsOthersWrite(null_list.NullList().get()));
  // Even granted to the administrators: a kind not understood is not trusted.
  for (BYTE type : {ACCESS_ALLOWED_OBJECT_ACE_TYPE, ACCESS_ALLOWED_CALLBACK_ACE_TYPE}) {
    Descriptor unknown(administrators_.get());
    unknown.Allow(administrators_.get(), FILE_GENERIC_READ).Retype(0, type);
    EXPECT_TRUE(LetsOthersWrite(unknown.get())) << int{type};
  }
  // An empty list lets no one in.
  Descriptor empty(administrators_.get());
  EXPECT_FALSE(LetsOthersWrite(empty.get()));
}

bool AdministratorsMember() {
  Sid administrators(WinBuiltinAdministratorsSid);
  BOOL member = FALSE;
  return CheckTokenMembership(nullptr, administrators.get(), &member) && member;
}

TEST(Elevation, AgreesWithTheAdministratorsGroupOfTheToken) {
  Win32FileSystem files;
  // A filtered token holds the group for denying only: no member then.
  EXPECT_EQ(files.IsElevated(), AdministratorsMember());
  if (RunsOnWine()) {
    EXPECT_TRUE(files.IsElevated()) << "Wine gives every program a full token";
  }
}

// The security the system reports for a path, or nothing.
std::vector<DWORD> SecurityOf(const Text& path) {
  const SECURITY_INFORMATION asked = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD size = 0;
  GetFileSecurityA(path.c_str(), asked, nullptr, 0, &size);
  std::vector<DWORD> descriptor(size / sizeof(DWORD) + 1);
  if (!GetFileSecurityA(path.c_str(), asked, descriptor.data(), size, &size)) descriptor.clear();
  return descriptor;
}

// True when an ACE of the path's list allows the SID anything.
bool ListAllows(const Text& path, PSID sid) {
  std::vector<DWORD> descriptor = SecurityOf(path);
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = nullptr;
  if (descriptor.empty() ||
      !GetSecurityDescriptorDacl(descriptor.data(), &present, &acl, &defaulted) || !present ||
      !acl) {
    return true;
  }
  for (DWORD index = 0; index < acl->AceCount; ++index) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(acl, index, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, sid)) {
      return true;
    }
  }
  return false;
}

TEST_F(FileSecurity, WhatTheSystemKeepsOfAPrivateFolder) {
  std::unique_ptr<FilesSandbox> sandbox = FilesSandbox::Create();
  FileSystem& files = sandbox->files();
  const Text root = sandbox->root();
  if (!files.IsElevated()) GTEST_SKIP() << "the program does not run elevated here";
  ASSERT_TRUE(files.CreatePrivateFolder(root + "private"));
  ASSERT_TRUE(files.CreateFolder(root + "ordinary"));
  ASSERT_EQ(files.WriteNewFile(root + "private\\inside.lnk", "x"), NewFile::kWritten);
  // Everyone is kept out of the private folder everywhere; Wine shows that
  // it took the list, as mode bits, by keeping the ordinary folder readable
  // by everyone and this one not.
  EXPECT_FALSE(ListAllows(root + "private", everyone_.get()));
  if (RunsOnWine()) {
    EXPECT_TRUE(ListAllows(root + "ordinary", everyone_.get()));
  }
  // Wine runs every program as its one account: that account is no other,
  // and only its own Unix permissions let anyone else write.
  EXPECT_EQ_ON_WINDOWS(files.OthersMayWrite(root + "ordinary"), true, false,
                       "Wine's one account owns every file and is no other");
  EXPECT_FALSE(files.OthersMayWrite(root + "private"));
  EXPECT_FALSE(files.OthersMayWrite(root + "private\\inside.lnk"));
  if (RunsOnWine()) return;
  // On Windows the descriptor read back is the one the folder was made with.
  std::vector<DWORD> descriptor = SecurityOf(root + "private");
  ASSERT_FALSE(descriptor.empty());
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted));
  EXPECT_TRUE(owner && EqualSid(owner, administrators_.get()));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.data(), &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  EXPECT_TRUE(ListAllows(root + "private", system_.get()));
}

TEST(SpecialFolders, LocalAppDataAndTheCommonFoldersAreTheirOwn) {
  Win32FileSystem files;
  const Text app_data = files.GetSpecialFolder(kAppDataFolder);
  const Text local = files.GetSpecialFolder(kLocalAppDataFolder);
  const Text desktop = files.GetSpecialFolder(kDesktopFolder);
  const Text common_desktop = files.GetSpecialFolder(kCommonDesktopFolder);
  const Text programs = files.GetSpecialFolder(kProgramsFolder);
  const Text common_programs = files.GetSpecialFolder(kCommonProgramsFolder);
  for (const Text* folder : {&local, &common_desktop, &common_programs}) {
    ASSERT_GT(folder->size(), 3u) << *folder;
    EXPECT_EQ(folder->back(), '\\') << *folder;
    EXPECT_NE((*folder)[folder->size() - 2], '\\') << *folder;
    EXPECT_TRUE(files.PathExists(folder->substr(0, folder->size() - 1))) << *folder;
  }
  EXPECT_NE(local, app_data);
  EXPECT_NE(common_desktop, desktop);
  EXPECT_NE(common_programs, programs);
  EXPECT_EQ(TextRight(common_programs, 9), "Programs\\") << common_programs;
}

}  // namespace
