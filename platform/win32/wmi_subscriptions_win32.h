// WMI's permanent event subscriptions through WMI's own COM interface: the
// locator (wbemprox, which COM loads when it is first asked for) connected
// to one namespace on each call.
#pragma once

#include "platform/wmi_subscriptions.h"

class Win32WmiSubscriptions : public WmiSubscriptions {
 public:
  // Another namespace only for the tests: one Wine implements.
  explicit Win32WmiSubscriptions(const wchar_t* name_space = L"root\\subscription")
      : name_space_(name_space) {}

  WmiListing ListSubscriptions(std::vector<WmiSubscription>* subscriptions) override;
  std::optional<bool> Exists(const Text& path) override;
  bool Delete(const Text& path) override;
  bool Create(const WmiObject& object) override;

 private:
  const wchar_t* name_space_;
};
