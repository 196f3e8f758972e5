#include "platform/win32/wmi_subscriptions_win32.h"

#include <windows.h>
// After windows.h, which it needs.
#include <wbemcli.h>

#include "platform/win32/ansi_text.h"
#include "platform/win32/ole_automation.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/wmi_objects_win32.h"

namespace {

// More bindings than any machine holds: a namespace filled past this is not
// listed; the bytes of text the listing may hold, a script of 64 MiB or as
// many small ones; and how long one object may take to come, in milliseconds.
constexpr std::size_t kMostBindings = 10000;
constexpr std::size_t kListingText = std::size_t{1} << 26;
constexpr long kObjectWait = 30000;

// WMI's codes as the HRESULTs its calls give.
constexpr HRESULT kNotFound = static_cast<HRESULT>(WBEM_E_NOT_FOUND);
constexpr HRESULT kNoPath = static_cast<HRESULT>(WBEM_E_INVALID_OBJECT_PATH);

using Services = ScopedComPtr<IWbemServices>;

// Calls through `proxy` as the program's own user. Only this proxy:
// CoInitializeSecurity would set the whole process's. Wine's objects are
// not proxies and refuse it, needing none.
void Impersonate(IUnknown* proxy) {
  CoSetProxyBlanket(proxy, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                    RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

WmiListing Connect(const wchar_t* name_space, Services* services) {
  ScopedComPtr<IWbemLocator> locator;
  if (!OleAutomation().valid() ||
      FAILED(CoCreateInstance(__uuidof(WbemLocator), nullptr, CLSCTX_INPROC_SERVER,
                              __uuidof(IWbemLocator), locator.ReceiveVoid()))) {
    return WmiListing::kNoInterface;
  }
  const ScopedBstr resource(name_space);
  // At most two minutes for the connection, rather than waiting for ever.
  if (!resource.get() ||
      FAILED(locator->ConnectServer(resource.get(), nullptr, nullptr, nullptr,
                                    WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr,
                                    reinterpret_cast<IWbemServices**>(services->ReceiveVoid())))) {
    return WmiListing::kNotConnected;
  }
  Impersonate(services->get());
  return WmiListing::kListed;
}

// The object at `path`; an empty path (which WMI answers with a new, empty
// class) names none.
HRESULT GetObjectAt(IWbemServices* services, const Text& path,
                    ScopedComPtr<IWbemClassObject>* object) {
  if (path.empty()) return kNoPath;
  const ScopedBstr wide(WideFromAnsi(path));
  if (!wide.get()) return E_OUTOFMEMORY;
  return services->GetObject(wide.get(), WBEM_FLAG_RETURN_WBEM_COMPLETE, nullptr,
                             reinterpret_cast<IWbemClassObject**>(object->ReceiveVoid()), nullptr);
}

// The filter or consumer a binding names, into the empty `named`: no class
// when there is none.
void ReadNamedObject(IWbemServices* services, const wchar_t* name_space, const Text* path,
                     WmiObject* named, std::size_t* text_left) {
  ScopedComPtr<IWbemClassObject> object;
  const HRESULT got = path ? GetObjectAt(services, *path, &object) : kNoPath;
  if (SUCCEEDED(got)) {
    ReadWmiObject(object.get(), name_space, named, text_left);
  } else {
    named->exact = got == kNotFound;  // known to be gone, or not known at all
  }
}

}  // namespace

WmiListing Win32WmiSubscriptions::ListSubscriptions(std::vector<WmiSubscription>* subscriptions) {
  Services services;
  const WmiListing reached = Connect(name_space_, &services);
  if (reached != WmiListing::kListed) return reached;
  const ScopedBstr class_name(L"__FilterToConsumerBinding");
  ScopedComPtr<IEnumWbemClassObject> bindings;
  if (!class_name.get() ||
      FAILED(services->CreateInstanceEnum(
          class_name.get(), WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
          reinterpret_cast<IEnumWbemClassObject**>(bindings.ReceiveVoid())))) {
    return WmiListing::kNotConnected;
  }
  Impersonate(bindings.get());
  subscriptions->clear();
  std::size_t text_left = kListingText;
  for (;;) {
    ScopedComPtr<IWbemClassObject> binding;
    ULONG returned = 0;
    const HRESULT next = bindings->Next(
        kObjectWait, 1, reinterpret_cast<IWbemClassObject**>(binding.ReceiveVoid()), &returned);
    if (next == WBEM_S_FALSE && returned == 0) return WmiListing::kListed;  // the end
    if (next != WBEM_S_NO_ERROR || returned != 1 || subscriptions->size() >= kMostBindings) break;
    WmiSubscription& subscription = subscriptions->emplace_back();
    ReadWmiObject(binding.get(), name_space_, &subscription.binding, &text_left);
    ReadNamedObject(services.get(), name_space_, subscription.binding.Value("Filter"),
                    &subscription.filter, &text_left);
    ReadNamedObject(services.get(), name_space_, subscription.binding.Value("Consumer"),
                    &subscription.consumer, &text_left);
  }
  // Part of a list is none: nothing is left that could be taken for all of it.
  subscriptions->clear();
  return WmiListing::kNotConnected;
}

std::optional<bool> Win32WmiSubscriptions::Exists(const Text& path) {
  Services services;
  ScopedComPtr<IWbemClassObject> object;
  if (Connect(name_space_, &services) != WmiListing::kListed) return std::nullopt;
  const HRESULT got = GetObjectAt(services.get(), path, &object);
  if (FAILED(got) && got != kNotFound) return std::nullopt;
  return SUCCEEDED(got);
}

bool Win32WmiSubscriptions::Delete(const Text& path) {
  Services services;
  if (Connect(name_space_, &services) != WmiListing::kListed) return false;
  const ScopedBstr wide(WideFromAnsi(path));
  return wide.get() && SUCCEEDED(services->DeleteInstance(wide.get(), 0, nullptr, nullptr));
}

bool Win32WmiSubscriptions::Create(const WmiObject& object) {
  Services services;
  ScopedComPtr<IWbemClassObject> made_from, instance;
  if (!object.exact || Connect(name_space_, &services) != WmiListing::kListed ||
      FAILED(GetObjectAt(services.get(), object.class_name, &made_from)) ||
      FAILED(made_from->SpawnInstance(
          0, reinterpret_cast<IWbemClassObject**>(instance.ReceiveVoid())))) {
    return false;
  }
  for (const WmiProperty& property : object.properties) {
    ScopedVariant value;
    VARIANT* written = value.Receive();
    if (!WriteWmiValue(property, written) ||
        FAILED(instance->Put(WideFromAnsi(property.name).c_str(), 0, written, 0))) {
      return false;
    }
  }
  // Its keys are the ones its path was read from: it is there by that path.
  return SUCCEEDED(services->PutInstance(instance.get(), WBEM_FLAG_CREATE_ONLY, nullptr, nullptr));
}
