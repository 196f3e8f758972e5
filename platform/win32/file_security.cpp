#include "platform/win32/file_security.h"

#include <cstddef>

namespace {

// Laid out as the system's SID, so well-known SIDs are constants: nothing to
// allocate or free.
template <int kCount>
struct FixedSid {
  BYTE revision;
  BYTE count;
  BYTE authority[6];
  DWORD sub_authorities[kCount];
  PSID get() const { return const_cast<FixedSid*>(this); }
};

static_assert(offsetof(FixedSid<1>, sub_authorities) == offsetof(SID, SubAuthority));

const FixedSid<2> kAdministrators = {1, 2, {0, 0, 0, 0, 0, 5}, {32, 544}};
const FixedSid<1> kLocalSystem = {1, 1, {0, 0, 0, 0, 0, 5}, {18}};
const FixedSid<6> kTrustedInstaller = {
    1, 6, {0, 0, 0, 0, 0, 5}, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464}};
// Stands, in an ACE passed on, for whoever makes the child: someone the other
// ACEs let add to the folder. In an ACE of the folder itself it matches no one.
const FixedSid<1> kCreatorOwner = {1, 1, {0, 0, 0, 0, 0, 3}, {0}};

bool IsTrusted(PSID sid) {
  return IsValidSid(sid) &&
         (EqualSid(sid, kAdministrators.get()) || EqualSid(sid, kLocalSystem.get()) ||
          EqualSid(sid, kTrustedInstaller.get()));
}

// Rights that let their holder change what the folder holds or who may.
constexpr ACCESS_MASK kWriting = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD |
                                 WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

}  // namespace

PSID AdministratorsSid() { return kAdministrators.get(); }
PSID LocalSystemSid() { return kLocalSystem.get(); }

PrivateFolderSecurity::PrivateFolderSecurity(PSID reader) {
  auto* acl = reinterpret_cast<PACL>(acl_);
  const DWORD inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  built_ =
      IsValidSid(reader) && InitializeAcl(acl, sizeof acl_, ACL_REVISION) &&
      AddAccessAllowedAceEx(acl, ACL_REVISION, inherited, FILE_ALL_ACCESS, kAdministrators.get()) &&
      AddAccessAllowedAceEx(acl, ACL_REVISION, inherited, FILE_ALL_ACCESS, kLocalSystem.get()) &&
      AddAccessAllowedAceEx(acl, ACL_REVISION, inherited, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE,
                            reader) &&
      InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
      SetSecurityDescriptorOwner(&descriptor_, kAdministrators.get(), FALSE) &&
      SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
      // Protected: a later change of the parent's list does not reach it.
      SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  attributes_ = {sizeof attributes_, &descriptor_, FALSE};
}

bool LetsOthersWrite(PSECURITY_DESCRIPTOR descriptor, PSID also_trusted) {
  const auto trusted = [also_trusted](PSID sid) {
    return IsTrusted(sid) || (also_trusted && IsValidSid(sid) && EqualSid(sid, also_trusted));
  };
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  // The owner may always change the list, whatever it says.
  if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner || !trusted(owner)) {
    return true;
  }
  BOOL present = FALSE;
  PACL acl = nullptr;
  // No list, or a null one, lets everyone do everything.
  if (!GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !present || !acl) {
    return true;
  }
  for (DWORD index = 0; index < acl->AceCount; ++index) {
    ACE_HEADER* ace = nullptr;
    if (!GetAce(acl, index, reinterpret_cast<void**>(&ace))) return true;
    if (ace->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    if (ace->AceType != ACCESS_ALLOWED_ACE_TYPE) return true;
    const auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    if ((allowed->Mask & kWriting) && !trusted(sid) && !EqualSid(sid, kCreatorOwner.get())) {
      return true;
    }
  }
  return false;
}
