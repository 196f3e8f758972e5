#include "platform/win32/wmi_objects_win32.h"

#include <cstdint>
#include <string_view>

#include "platform/win32/ansi_text.h"
#include "platform/win32/ole_automation.h"

namespace {

// A text longer than this (a script of a megabyte) is not read; nor are more
// properties than the system's consumer classes have, many times over.
constexpr std::size_t kLongestText = 1 << 20;
constexpr int kMostProperties = 512;

bool IsTextType(CIMTYPE type) {
  // 64-bit integers come as decimal text too.
  return type == CIM_STRING || type == CIM_REFERENCE || type == CIM_DATETIME ||
         type == CIM_SINT64 || type == CIM_UINT64;
}

// An integer type's width in bits (0 for any other type), and whether it is signed.
int IntegerBits(CIMTYPE type, bool* is_signed) {
  *is_signed = type == CIM_SINT8 || type == CIM_SINT16 || type == CIM_SINT32;
  switch (type) {
    case CIM_SINT8:
    case CIM_UINT8:
      return 8;
    case CIM_SINT16:
    case CIM_UINT16:
      return 16;
    case CIM_SINT32:
    case CIM_UINT32:
      return 32;
    default:
      return 0;
  }
}

bool FitsType(std::int64_t number, int bits, bool is_signed) {
  const std::int64_t lowest = is_signed ? -(std::int64_t{1} << (bits - 1)) : 0;
  const std::int64_t highest = (std::int64_t{1} << (is_signed ? bits - 1 : bits)) - 1;
  return number >= lowest && number <= highest;
}

}  // namespace

WmiValueRead ReadWmiValue(const VARIANT& value, CIMTYPE type, Text* text) {
  if (value.vt == VT_NULL || value.vt == VT_EMPTY) return WmiValueRead::kNull;
  if ((type & CIM_FLAG_ARRAY) || (value.vt & VT_ARRAY)) return WmiValueRead::kInexact;
  if (IsTextType(type)) {
    if (value.vt != VT_BSTR) return WmiValueRead::kInexact;
    // Counted, not ended at a zero: a text with a zero inside is not given back.
    const std::wstring_view wide(value.bstrVal ? value.bstrVal : L"",
                                 value.bstrVal ? OleAutomation().length(value.bstrVal) : 0);
    std::optional<Text> exact;
    if (wide.size() <= kLongestText && wide.find(L'\0') == std::wstring_view::npos) {
      exact = ExactAnsiFromWide(wide);
    }
    if (!exact) return WmiValueRead::kInexact;
    *text = std::move(*exact);
    return WmiValueRead::kRead;
  }
  if (type == CIM_BOOLEAN && value.vt == VT_BOOL) {
    *text = value.boolVal != VARIANT_FALSE ? "TRUE" : "FALSE";
    return WmiValueRead::kRead;
  }
  bool is_signed = false;
  const int bits = IntegerBits(type, &is_signed);
  std::int64_t number = 0;
  int carrier_bits = 32;
  switch (value.vt) {
    case VT_I1:
      number = static_cast<signed char>(value.cVal);
      carrier_bits = 8;
      break;
    case VT_UI1:
      number = value.bVal;
      break;
    case VT_I2:
      number = value.iVal;
      carrier_bits = 16;
      break;
    case VT_UI2:
      number = value.uiVal;
      break;
    case VT_I4:
    case VT_INT:
      number = value.lVal;
      break;
    case VT_UI4:
    case VT_UINT:
      number = value.ulVal;
      break;
    default:
      return WmiValueRead::kInexact;
  }
  // An unsigned type in a signed carrier (a uint32 comes as VT_I4): its bits.
  if (!is_signed && number < 0) number += std::int64_t{1} << carrier_bits;
  if (bits == 0 || !FitsType(number, bits, is_signed)) return WmiValueRead::kInexact;
  *text = number < 0 ? Text("-") + Decimal(static_cast<std::uint64_t>(-number))
                     : Decimal(static_cast<std::uint64_t>(number));
  return WmiValueRead::kRead;
}

WmiObject ReadWmiObject(IWbemClassObject* object) {
  WmiObject read;
  for (Text* system : {&read.class_name, &read.path}) {
    ScopedVariant value;
    if (FAILED(object->Get(system == &read.path ? L"__RELPATH" : L"__CLASS", 0, value.Receive(),
                           nullptr, nullptr)) ||
        ReadWmiValue(value.get(), CIM_STRING, system) != WmiValueRead::kRead) {
      read.exact = false;
    }
  }
  if (FAILED(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY))) {
    read.exact = false;
    return read;
  }
  for (int count = 0;; ++count) {
    ScopedBstr name;
    ScopedVariant value;
    CIMTYPE type = 0;
    const HRESULT next = object->Next(0, name.Receive(), value.Receive(), &type, nullptr);
    if (next == WBEM_S_NO_MORE_DATA) break;
    if (FAILED(next) || !name.get() || count >= kMostProperties) {
      read.exact = false;
      break;
    }
    // WMI sets the creator itself, and sets it again when the object is put back.
    if (name.Wide() == L"CreatorSID") continue;
    WmiProperty property;
    property.cim_type = static_cast<std::uint32_t>(type);
    const WmiValueRead got = ReadWmiValue(value.get(), type, &property.value);
    std::optional<Text> property_name = ExactAnsiFromWide(name.Wide());
    if (got == WmiValueRead::kNull) continue;
    if (got == WmiValueRead::kInexact || !property_name) {
      read.exact = false;
      continue;
    }
    property.name = std::move(*property_name);
    read.properties.push_back(std::move(property));
  }
  object->EndEnumeration();
  return read;
}

bool WriteWmiValue(const WmiProperty& property, VARIANT* value) {
  const CIMTYPE type = static_cast<CIMTYPE>(property.cim_type);
  const Text& text = property.value;
  if (IsTextType(type)) {
    value->vt = VT_BSTR;
    value->bstrVal = OleAutomation().allocate(WideFromAnsi(text).c_str());
    return value->bstrVal != nullptr;
  }
  if (type == CIM_BOOLEAN) {
    value->vt = VT_BOOL;
    value->boolVal = text == "TRUE" ? VARIANT_TRUE : VARIANT_FALSE;
    return text == "TRUE" || text == "FALSE";
  }
  bool is_signed = false;
  const int bits = IntegerBits(type, &is_signed);
  const bool negative = !text.empty() && text[0] == '-';
  const std::size_t digits = text.size() - (negative ? 1 : 0);
  if (bits == 0 || digits == 0 || digits > 10) return false;
  std::int64_t number = 0;
  for (std::size_t at = negative ? 1 : 0; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
    number = number * 10 + (text[at] - '0');
  }
  if (negative) number = -number;
  if (!FitsType(number, bits, is_signed)) return false;
  // WMI's automation mapping: uint8 as VT_UI1, sint8 and sint16 as VT_I2,
  // uint16, sint32 and uint32 as VT_I4 (a uint32 in its bits).
  if (type == CIM_UINT8) {
    value->vt = VT_UI1;
    value->bVal = static_cast<BYTE>(number);
  } else if (bits < 16 || type == CIM_SINT16) {
    value->vt = VT_I2;
    value->iVal = static_cast<SHORT>(number);
  } else {
    value->vt = VT_I4;
    value->lVal = static_cast<LONG>(static_cast<std::uint32_t>(number));
  }
  return true;
}
