// oleaut32's BSTR and VARIANT calls, which the Task Scheduler's and WMI's
// COM interfaces take and give. The DLL is loaded from the system folder
// when first asked for (system_library.h): those interfaces' own DLLs need
// it anyway, and the program's start does not, nor may it import it.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <string>

struct OleAutomationCalls {
  decltype(&SysAllocString) allocate = nullptr;
  decltype(&SysFreeString) free = nullptr;
  decltype(&VariantClear) clear = nullptr;
  bool valid() const { return allocate && free && clear; }
};

// Loaded once; every call null when the system has no oleaut32.
const OleAutomationCalls& OleAutomation();

class ScopedBstr {
 public:
  ScopedBstr() = default;
  explicit ScopedBstr(const wchar_t* text) : value_(OleAutomation().allocate(text)) {}
  explicit ScopedBstr(const std::wstring& text) : ScopedBstr(text.c_str()) {}
  ~ScopedBstr() { Reset(); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;

  BSTR get() const { return value_; }
  BSTR* Receive() {
    Reset();
    return &value_;
  }
  std::wstring Wide() const { return value_ ? std::wstring(value_) : std::wstring(); }

 private:
  void Reset() {
    if (value_) OleAutomation().free(value_);
    value_ = nullptr;
  }
  BSTR value_ = nullptr;
};

// A VARIANT cleared (its BSTR, array or interface released) on every path.
// Made empty without VariantInit, which would import oleaut32.
class ScopedVariant {
 public:
  ScopedVariant() = default;
  ~ScopedVariant() { Clear(); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;

  const VARIANT& get() const { return value_; }
  VARIANT* Receive() {
    Clear();
    return &value_;
  }

 private:
  void Clear() {
    if (value_.vt != VT_EMPTY) OleAutomation().clear(&value_);
    value_.vt = VT_EMPTY;
  }
  VARIANT value_ = {};
};
