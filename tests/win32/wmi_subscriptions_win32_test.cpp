// WMI's COM interface as the Win32 backend speaks it, and its objects' values
// read and written as text. Wine's WMI has no root\subscription: there the
// backend must say it could not list, and root\cimv2, which Wine has, drives
// the same calls and the same reading of objects.
#include "platform/win32/wmi_subscriptions_win32.h"

#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which they need.
#include <oleauto.h>
#include <wbemcli.h>

#include <vector>

#include "platform/com_scope.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/ole_automation.h"
#include "platform/win32/scoped_handle.h"
#include "platform/win32/wmi_objects_win32.h"
#include "tests/win32/wine_differences.h"

namespace {

const wchar_t kSubscriptions[] = L"root\\subscription";

struct Case {
  VARTYPE vt;
  LONG number;
  CIMTYPE type;
  const char* text;  // nullptr: not exact
};

// `value` as a VARIANT of type `vt` holding `number` in its own field.
void Fill(VARIANT* value, VARTYPE vt, LONG number) {
  value->vt = vt;
  if (vt == VT_UI1) value->bVal = static_cast<BYTE>(number);
  if (vt == VT_I2) value->iVal = static_cast<SHORT>(number);
  if (vt == VT_BOOL) value->boolVal = number ? VARIANT_TRUE : VARIANT_FALSE;
  if (vt == VT_I4) value->lVal = number;
  if (vt == VT_R8) value->dblVal = number;
}

WmiValueRead ReadText(const wchar_t* wide, UINT length, CIMTYPE type, Text* text) {
  ScopedVariant value;
  VARIANT* filled = value.Receive();
  filled->vt = VT_BSTR;
  filled->bstrVal = SysAllocStringLen(wide, length);
  return ReadWmiValue(value.get(), type, text);
}

TEST(WmiValuesWin32, TextsAreExactOrNotRead) {
  Text text;
  EXPECT_EQ(ReadText(L"\u4E2D\u6587 cmd.exe /c", 13, CIM_STRING, &text), WmiValueRead::kRead);
  EXPECT_EQ(text, "中文 cmd.exe /c");  // its code page 936 bytes
  for (CIMTYPE type : {CIM_REFERENCE, CIM_DATETIME, CIM_UINT64, CIM_SINT64}) {
    EXPECT_EQ(ReadText(L"18446744073709551615", 20, type, &text), WmiValueRead::kRead) << type;
    EXPECT_EQ(text, "18446744073709551615");
  }
  EXPECT_EQ(ReadText(L"", 0, CIM_STRING, &text), WmiValueRead::kRead);
  EXPECT_EQ(text, "");
  // Thai, which code page 936 lacks; a zero that would cut the text short.
  EXPECT_EQ(ReadText(L"a\u0E01", 2, CIM_STRING, &text), WmiValueRead::kInexact);
  EXPECT_EQ(ReadText(L"a\0b", 3, CIM_STRING, &text), WmiValueRead::kInexact);
  // Zeros after the text pad it, as Wine pads a __RELPATH.
  EXPECT_EQ(ReadText(L"ab\0\0", 4, CIM_STRING, &text), WmiValueRead::kRead);
  EXPECT_EQ(text, "ab");
  // A text where the type says a number.
  EXPECT_EQ(ReadText(L"1", 1, CIM_UINT32, &text), WmiValueRead::kInexact);
}

TEST(WmiValuesWin32, NumbersAreReadByTheirCimType) {
  const Case cases[] = {
      {VT_I4, -5, CIM_SINT32, "-5"},
      {VT_I4, static_cast<LONG>(4000000000u), CIM_UINT32, "4000000000"},
      {VT_I4, 65535, CIM_UINT16, "65535"},
      {VT_I4, 70000, CIM_UINT16, nullptr},
      {VT_I2, -32768, CIM_SINT16, "-32768"},
      {VT_I2, -128, CIM_SINT8, "-128"},
      {VT_I2, -129, CIM_SINT8, nullptr},
      {VT_UI1, 255, CIM_UINT8, "255"},
      // Only in the carrier WMI's mapping gives the type.
      {VT_I4, 5, CIM_UINT8, nullptr},
      {VT_I2, 5, CIM_UINT16, nullptr},
      {VT_I4, 5, CIM_SINT16, nullptr},
      {VT_BOOL, 1, CIM_BOOLEAN, "TRUE"},
      {VT_BOOL, 0, CIM_BOOLEAN, "FALSE"},
      {VT_BOOL, 1, CIM_UINT8, nullptr},
      {VT_I4, 1, CIM_BOOLEAN, nullptr},
      {VT_R8, 2, CIM_REAL64, nullptr},
      {VT_I2, 65, CIM_CHAR16, nullptr},
  };
  for (const Case& one : cases) {
    VARIANT value = {};
    Fill(&value, one.vt, one.number);
    Text text;
    const WmiValueRead read = ReadWmiValue(value, one.type, &text);
    EXPECT_EQ(read, one.text ? WmiValueRead::kRead : WmiValueRead::kInexact)
        << one.vt << " " << one.number << " as " << one.type;
    if (one.text) {
      EXPECT_EQ(text, one.text);
    }
  }
  VARIANT none = {};
  none.vt = VT_NULL;
  Text text;
  EXPECT_EQ(ReadWmiValue(none, CIM_STRING, &text), WmiValueRead::kNull);
  EXPECT_EQ(ReadWmiValue(none, CIM_UINT8 | CIM_FLAG_ARRAY, &text), WmiValueRead::kNull);
  // An array (a creator's SID is one) is never read.
  ScopedVariant bytes;
  VARIANT* array = bytes.Receive();
  array->vt = VT_ARRAY | VT_UI1;
  array->parray = SafeArrayCreateVector(VT_UI1, 0, 4);
  ASSERT_NE(array->parray, nullptr);
  EXPECT_EQ(ReadWmiValue(bytes.get(), CIM_UINT8 | CIM_FLAG_ARRAY, &text), WmiValueRead::kInexact);
}

TEST(WmiValuesWin32, WrittenValuesReadBackAsTheyWere) {
  const Case cases[] = {
      {VT_BSTR, 0, CIM_STRING, "中文 wscript.exe //B"},
      {VT_BSTR, 0, CIM_REFERENCE, "__EventFilter.Name=\"f\""},
      {VT_BSTR, 0, CIM_UINT64, "18446744073709551615"},
      {VT_BSTR, 0, CIM_STRING, ""},
      {VT_BOOL, 0, CIM_BOOLEAN, "TRUE"},
      {VT_BOOL, 0, CIM_BOOLEAN, "FALSE"},
      {VT_UI1, 0, CIM_UINT8, "255"},
      {VT_I2, 0, CIM_SINT8, "-128"},
      {VT_I2, 0, CIM_SINT16, "-32768"},
      {VT_I4, 0, CIM_UINT16, "65535"},
      {VT_I4, 0, CIM_SINT32, "-2147483648"},
      {VT_I4, 0, CIM_UINT32, "4294967295"},
      {VT_I4, 0, CIM_UINT32, "0"},
  };
  for (const Case& one : cases) {
    ScopedVariant value;
    ASSERT_TRUE(
        WriteWmiValue({"Name", static_cast<std::uint32_t>(one.type), one.text}, value.Receive()))
        << one.text;
    EXPECT_EQ(value.get().vt, one.vt) << one.text;  // WMI's automation mapping
    Text text;
    EXPECT_EQ(ReadWmiValue(value.get(), one.type, &text), WmiValueRead::kRead) << one.text;
    EXPECT_EQ(text, one.text);
  }
  const std::pair<CIMTYPE, const char*> refused[] = {
      {CIM_UINT8, "256"},    {CIM_UINT8, "-1"},          {CIM_UINT8, ""},
      {CIM_UINT8, "-"},      {CIM_SINT8, "128"},         {CIM_UINT32, "4294967296"},
      {CIM_UINT32, "-1"},    {CIM_SINT32, "2147483648"}, {CIM_UINT32, "99999999999"},
      {CIM_SINT16, "1x"},    {CIM_UINT16, " 1"},         {CIM_UINT16, "007"},
      {CIM_SINT32, "-0"},    {CIM_SINT32, "+1"},         {CIM_UINT8, "1-2"},
      {CIM_BOOLEAN, "true"}, {CIM_REAL32, "1"},          {CIM_CHAR16, "65"},
      {CIM_OBJECT, ""},
  };
  for (const auto& [type, text] : refused) {
    ScopedVariant value;
    EXPECT_FALSE(WriteWmiValue({"Name", static_cast<std::uint32_t>(type), text}, value.Receive()))
        << type << " " << text;
  }
}

// An object that gives the properties it is made with, as a consumer of
// root\\subscription gives its own on Windows, which Wine does not have.
class ScriptedObject : public IWbemClassObject {
 public:
  struct Property {
    const wchar_t* name;
    CIMTYPE type;
    VARTYPE vt;
    const wchar_t* text;  // the value for VT_BSTR
    LONG number;          // for the others
  };
  explicit ScriptedObject(std::vector<Property> properties, HRESULT last = WBEM_S_NO_MORE_DATA)
      : properties_(std::move(properties)), last_(last) {}

  HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE*, LONG*) override {
    const std::wstring asked(name);
    value->vt = VT_BSTR;
    value->bstrVal =
        SysAllocString(asked == L"__CLASS"       ? L"CommandLineEventConsumer"
                       : asked == L"__NAMESPACE" ? name_space_
                                                 : L"CommandLineEventConsumer.Name=\"Home\"");
    return S_OK;
  }
  // As WMI writes it, in capitals; another namespace for a test.
  const wchar_t* name_space_ = L"ROOT\\subscription";
  HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override {
    next_ = 0;
    return flags == WBEM_FLAG_NONSYSTEM_ONLY ? S_OK : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE Next(LONG, BSTR* name, VARIANT* value, CIMTYPE* type, LONG*) override {
    if (next_ == properties_.size()) return last_;
    const Property& property = properties_[next_++];
    *name = SysAllocString(property.name);
    *type = property.type;
    value->vt = property.vt;
    if (property.vt == VT_BSTR) {
      value->bstrVal = SysAllocString(property.text);
    } else if (property.vt == (VT_ARRAY | VT_UI1)) {
      value->parray = SafeArrayCreateVector(VT_UI1, 0, 28);
    } else {
      value->lVal = property.number;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EndEnumeration() override { return S_OK; }

  // Not asked for by the reader.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**,
                                      IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*,
                                      IWbemClassObject*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**,
                                       IWbemClassObject**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }

 private:
  std::vector<Property> properties_;
  HRESULT last_;
  std::size_t next_ = 0;
};

const ScriptedObject::Property kCreator = {L"CreatorSID", CIM_UINT8 | CIM_FLAG_ARRAY,
                                           VT_ARRAY | VT_UI1, nullptr, 0};
const ScriptedObject::Property kCommand = {L"CommandLineTemplate", CIM_STRING, VT_BSTR,
                                           L"cmd /c start http://hijack.example/", 0};

TEST(WmiObjectsWin32, ListsAConsumerAsItCanBePutBack) {
  ScriptedObject consumer({
      kCreator,
      kCommand,
      {L"KillTimeout", CIM_UINT32, VT_I4, nullptr, static_cast<LONG>(4000000000u)},
      {L"RunInteractively", CIM_BOOLEAN, VT_BOOL, nullptr, VARIANT_TRUE},
      {L"WorkingDirectory", CIM_STRING, VT_NULL, nullptr, 0},
      {L"Priority", CIM_SINT32, VT_I4, nullptr, -32},
  });
  WmiObject read;
  std::size_t text_left = 1000;
  ReadWmiObject(&consumer, kSubscriptions, &read, &text_left);
  EXPECT_EQ(read.class_name, "CommandLineEventConsumer");
  EXPECT_EQ(read.path, "CommandLineEventConsumer.Name=\"Home\"");
  // The creator's SID (an array WMI sets itself) is left out, and leaves it exact.
  EXPECT_TRUE(read.exact);
  ASSERT_EQ(read.properties.size(), 4u);  // the null one is not listed either
  const std::pair<const char*, const char*> want[] = {
      {"CommandLineTemplate", "cmd /c start http://hijack.example/"},
      {"KillTimeout", "4000000000"},
      {"RunInteractively", "TRUE"},
      {"Priority", "-32"},
  };
  for (std::size_t at = 0; at < 4; ++at) {
    EXPECT_EQ(read.properties[at].name, want[at].first);
    EXPECT_EQ(read.properties[at].value, want[at].second);
  }
  EXPECT_EQ(read.properties[1].cim_type, CIM_UINT32);
  EXPECT_EQ(text_left, 1000 - read.class_name.size() - read.path.size() - 35 - 10 - 4 - 3);
}

TEST(WmiObjectsWin32, WhatCannotBeGivenBackLeavesTheObjectNotExact) {
  const ScriptedObject::Property thai_name = {L"\u0E01", CIM_STRING, VT_BSTR, L"x", 0};
  const ScriptedObject::Property thai_value = {L"ScriptText", CIM_STRING, VT_BSTR, L"\u0E01", 0};
  const ScriptedObject::Property array = {L"Names", CIM_STRING | CIM_FLAG_ARRAY, VT_ARRAY | VT_UI1,
                                          nullptr, 0};
  for (const ScriptedObject::Property& odd : {thai_name, thai_value, array}) {
    ScriptedObject consumer({kCommand, odd});
    WmiObject read;
    std::size_t text_left = 1000;
    ReadWmiObject(&consumer, kSubscriptions, &read, &text_left);
    EXPECT_FALSE(read.exact);
    ASSERT_EQ(read.properties.size(), 1u);  // shown, without what it cannot hold
    EXPECT_EQ(read.properties[0].name, "CommandLineTemplate");
  }
  // A consumer in another namespace: its path names another object here.
  ScriptedObject elsewhere({kCommand});
  elsewhere.name_space_ = L"ROOT\\cimv2";
  WmiObject other;
  std::size_t other_left = 1000;
  ReadWmiObject(&elsewhere, kSubscriptions, &other, &other_left);
  EXPECT_FALSE(other.exact);
  EXPECT_EQ(other.properties.size(), 1u);
  // A walk WMI breaks off.
  ScriptedObject broken({kCommand}, WBEM_E_FAILED);
  WmiObject read;
  std::size_t text_left = 1000;
  ReadWmiObject(&broken, kSubscriptions, &read, &text_left);
  EXPECT_FALSE(read.exact);
  // Once the listing's text is spent, nothing more is kept.
  for (std::size_t left : {std::size_t{0}, std::size_t{70}}) {
    ScriptedObject consumer({kCommand});
    WmiObject spent;
    text_left = left;
    ReadWmiObject(&consumer, kSubscriptions, &spent, &text_left);
    EXPECT_FALSE(spent.exact) << left;
    EXPECT_TRUE(spent.properties.empty()) << left;
    EXPECT_EQ(spent.class_name, left ? "CommandLineEventConsumer" : "") << left;
  }
  // More properties than any class has: the walk ends there.
  ScriptedObject endless(std::vector<ScriptedObject::Property>(600, kCommand));
  WmiObject many;
  text_left = std::size_t{1} << 20;
  ReadWmiObject(&endless, kSubscriptions, &many, &text_left);
  EXPECT_FALSE(many.exact);
  EXPECT_EQ(many.properties.size(), 512u);
}

// root\cimv2, connected the way the backend connects.
bool ConnectCimv2(ScopedComPtr<IWbemServices>* services) {
  ScopedComPtr<IWbemLocator> locator;
  const ScopedBstr name_space(L"root\\cimv2");
  return SUCCEEDED(CoCreateInstance(__uuidof(WbemLocator), nullptr, CLSCTX_INPROC_SERVER,
                                    __uuidof(IWbemLocator), locator.ReceiveVoid())) &&
         SUCCEEDED(locator->ConnectServer(
             name_space.get(), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
             reinterpret_cast<IWbemServices**>(services->ReceiveVoid()))) &&
         SUCCEEDED(CoSetProxyBlanket(services->get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                     RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                                     EOAC_NONE));
}

Text OwnProcessPath() {
  return Text("Win32_Process.Handle=\"") + Decimal(GetCurrentProcessId()) + "\"";
}

TEST(WmiObjectsWin32, ReadsWhatCimv2Gives) {
  ScopedComInitializer com;
  ASSERT_TRUE(com.succeeded());
  ScopedComPtr<IWbemServices> services;
  ASSERT_TRUE(ConnectCimv2(&services));

  const ScopedBstr language(L"WQL"), query(L"SELECT * FROM Win32_OperatingSystem");
  ScopedComPtr<IEnumWbemClassObject> systems;
  ScopedComPtr<IWbemClassObject> system;
  ULONG returned = 0;
  ASSERT_TRUE(SUCCEEDED(
      services->ExecQuery(language.get(), query.get(), WBEM_FLAG_FORWARD_ONLY, nullptr,
                          reinterpret_cast<IEnumWbemClassObject**>(systems.ReceiveVoid()))));
  ASSERT_EQ(systems->Next(WBEM_INFINITE, 1,
                          reinterpret_cast<IWbemClassObject**>(system.ReceiveVoid()), &returned),
            WBEM_S_NO_ERROR);
  WmiObject os;
  std::size_t text_left = 1 << 20;
  ReadWmiObject(system.get(), L"root\\cimv2", &os, &text_left);
  EXPECT_EQ(os.class_name, "Win32_OperatingSystem");
  EXPECT_EQ_ON_WINDOWS(os.path, "Win32_OperatingSystem=@", "Win32_OperatingSystem",
                       "Win32_OperatingSystem has no key, its __RELPATH is the class alone");
  EXPECT_TRUE(os.exact);
  ASSERT_TRUE(os.Value("Primary") && os.Value("CodeSet") && os.Value("OSLanguage") &&
              os.Value("WindowsDirectory"));
  EXPECT_EQ(*os.Value("Primary"), "TRUE");
  EXPECT_EQ(*os.Value("CodeSet"), Decimal(GetACP()));
  // A uint32, in decimal: Windows gives the language it was installed in.
  const Text& installed_language = *os.Value("OSLanguage");
  EXPECT_TRUE(!installed_language.empty() &&
              installed_language.find_first_not_of("0123456789") == Text::npos)
      << installed_language;
  if (RunsOnWine()) {
    EXPECT_EQ(installed_language, Decimal(GetSystemDefaultLangID()));
  }
  char windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryA(windows, MAX_PATH), 0u);
  EXPECT_TRUE(SameIgnoringAsciiCase(*os.Value("WindowsDirectory"), windows));
  for (const WmiProperty& property : os.properties) {
    EXPECT_NE(property.name.substr(0, 2), "__") << "a system property is listed";
    EXPECT_EQ(property.cim_type & CIM_FLAG_ARRAY, 0u) << property.name;
    if (property.name == "OSLanguage") {
      EXPECT_EQ(property.cim_type, CIM_UINT32);
    }
    if (property.name == "Primary") {
      EXPECT_EQ(property.cim_type, CIM_BOOLEAN);
    }
  }

  // This test's own process, asked for by its path.
  ScopedComPtr<IWbemClassObject> process;
  const ScopedBstr process_path(WideFromAnsi(OwnProcessPath()));
  ASSERT_TRUE(SUCCEEDED(
      services->GetObject(process_path.get(), 0, nullptr,
                          reinterpret_cast<IWbemClassObject**>(process.ReceiveVoid()), nullptr)));
  WmiObject own;
  ReadWmiObject(process.get(), L"root\\cimv2", &own, &text_left);
  EXPECT_EQ(own.class_name, "Win32_Process");
  EXPECT_EQ(own.path, OwnProcessPath());  // Wine pads it with zeros
  EXPECT_TRUE(own.exact);
  ASSERT_TRUE(own.Value("ProcessId") && own.Value("Name"));
  EXPECT_EQ(*own.Value("ProcessId"), Decimal(GetCurrentProcessId()));
  EXPECT_TRUE(SameIgnoringAsciiCase(*own.Value("Name"), "platform_win32_test.exe"));
}

TEST(WmiSubscriptionsWin32, SaysWhenTheSubscriptionsCannotBeListed) {
  ScopedComInitializer com;
  ASSERT_TRUE(com.succeeded());
  Win32WmiSubscriptions wmi;
  std::vector<WmiSubscription> listed;
  const WmiListing listing = wmi.ListSubscriptions(&listed);
  EXPECT_EQ_ON_WINDOWS(listing, WmiListing::kListed, WmiListing::kNotConnected,
                       "wbemprox has no root\\subscription: WBEM_E_INVALID_NAMESPACE");
  const Text no_filter = "__EventFilter.Name=\"qinghe test: no such filter\"";
  if (listing != WmiListing::kListed) {
    EXPECT_TRUE(listed.empty());
    // Nothing can be asked or changed of a namespace that does not connect.
    EXPECT_EQ(wmi.Exists(no_filter), std::nullopt);
    EXPECT_FALSE(wmi.Delete(no_filter));
    return;
  }
  EXPECT_EQ(wmi.Exists(no_filter), std::optional<bool>(false));
  for (const WmiSubscription& subscription : listed) {
    EXPECT_EQ(subscription.binding.class_name, "__FilterToConsumerBinding");
    EXPECT_TRUE(subscription.binding.Value("Filter") && subscription.binding.Value("Consumer"));
    EXPECT_EQ(subscription.binding.Value("CreatorSID"), nullptr);
    if (!subscription.filter.class_name.empty()) {
      EXPECT_EQ(wmi.Exists(subscription.filter.path), std::optional<bool>(true));
    }
  }
}

// The backend's own calls against the namespace Wine has; nothing here may
// change a real Windows machine: every object deleted or made is refused.
TEST(WmiSubscriptionsWin32, AsksAndRefusesInCimv2) {
  ScopedComInitializer com;
  ASSERT_TRUE(com.succeeded());
  Win32WmiSubscriptions cimv2(L"root\\cimv2");
  std::vector<WmiSubscription> listed;
  EXPECT_EQ(cimv2.ListSubscriptions(&listed), WmiListing::kListed);
  if (RunsOnWine()) {
    EXPECT_TRUE(listed.empty());
  }

  EXPECT_EQ(cimv2.Exists(OwnProcessPath()), std::optional<bool>(true));
  const Text no_process = "Win32_Process.Handle=\"4000000000\"";
  EXPECT_EQ(cimv2.Exists(no_process), std::optional<bool>(false));
  EXPECT_EQ_ON_WINDOWS(cimv2.Exists("QingheNoSuchClass.Name=\"x\""), std::nullopt,
                       std::optional<bool>(false),
                       "a class that does not exist gives WBEM_E_NOT_FOUND, not INVALID_CLASS");
  EXPECT_EQ_ON_WINDOWS(cimv2.Exists("Win32_OperatingSystem=@"), std::optional<bool>(true),
                       std::nullopt, "a singleton's path gives WBEM_E_INVALID_QUERY");
  // An empty path, which WMI answers with a new empty class, names nothing.
  EXPECT_EQ(cimv2.Exists(""), std::nullopt);

  EXPECT_FALSE(cimv2.Delete(no_process));
  EXPECT_FALSE(cimv2.Delete("QingheNoSuchClass.Name=\"x\""));
  EXPECT_FALSE(cimv2.Delete(""));

  WmiObject object;
  object.class_name = "QingheNoSuchClass";
  object.path = "QingheNoSuchClass.Name=\"x\"";
  object.properties.push_back({"Name", CIM_STRING, "x"});
  EXPECT_FALSE(cimv2.Create(object));
  // A class that is there, whose provider makes no instance through PutInstance.
  object.class_name = "Win32_Process";
  object.path = no_process;
  EXPECT_FALSE(cimv2.Create(object));
  EXPECT_EQ(cimv2.Exists(no_process), std::optional<bool>(false));
  // What could not be read exactly is never put back.
  object.exact = false;
  EXPECT_FALSE(cimv2.Create(object));
}

}  // namespace
