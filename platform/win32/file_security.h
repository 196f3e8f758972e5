// The access lists behind FileSystem's private folders: the one a private
// folder is made with, and the judgement whether a file's security lets
// anyone but the administrators and the system write to it.
#pragma once

#include <windows.h>

// The security a private folder is made with: owned by the Administrators
// group; full control for them and the system, read and list for `reader`;
// every ACE passed on to what is made inside; nothing inherited from the
// parent, which is the user's to change.
class PrivateFolderSecurity {
 public:
  explicit PrivateFolderSecurity(PSID reader);
  PrivateFolderSecurity(const PrivateFolderSecurity&) = delete;
  PrivateFolderSecurity& operator=(const PrivateFolderSecurity&) = delete;

  // For CreateDirectory; null when the descriptor could not be built.
  SECURITY_ATTRIBUTES* attributes() { return built_ ? &attributes_ : nullptr; }

 private:
  // Room for three ACEs of the largest SIDs; DWORDs keep the list aligned.
  DWORD acl_[(sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)) /
                 sizeof(DWORD) +
             1] = {};
  SECURITY_DESCRIPTOR descriptor_ = {};
  SECURITY_ATTRIBUTES attributes_ = {};
  bool built_ = false;
};

// The Administrators group and the local system, as constant SIDs.
PSID AdministratorsSid();
PSID LocalSystemSid();

// True unless the descriptor keeps everyone but the administrators and the
// system (TrustedInstaller counting as the system) from writing: its owner
// is one of them, it has an access list, and no ACE of it, for the object
// or to be passed on, allows writing, adding, deleting children or changing
// the security to anyone else. An ACE that only denies is passed over (it
// only takes rights away); one of a kind not understood counts as allowing.
// `also_trusted`, when given, counts as one of them too.
bool LetsOthersWrite(PSECURITY_DESCRIPTOR descriptor, PSID also_trusted = nullptr);
