#include "platform/win32/wmi_objects_win32.h"

#include <cstdint>
#include <string_view>

#include "platform/win32/ansi_text.h"
#include "platform/win32/ole_automation.h"

namespace {

// More properties than the system's consumer classes have, many times over.
constexpr int kMostProperties = 512;

bool IsTextType(CIMTYPE type) {
  // 64-bit integers come as decimal text too.
  return type == CIM_STRING || type == CIM_REFERENCE || type == CIM_DATETIME ||
         type == CIM_SINT64 || type == CIM_UINT64;
}

// An integer type: the VARIANT type WMI's automation mapping carries it in,
// and its values, 0 to `span` or, signed, as many either side of 0.
struct IntegerType {
  std::uint8_t type;
  std::uint8_t carrier;
  bool is_signed;
  std::uint32_t span;
};

constexpr IntegerType kIntegerTypes[] = {
    {CIM_SINT8, VT_I2, true, 0xFF},        {CIM_UINT8, VT_UI1, false, 0xFF},
    {CIM_SINT16, VT_I2, true, 0xFFFF},     {CIM_UINT16, VT_I4, false, 0xFFFF},
    {CIM_SINT32, VT_I4, true, UINT32_MAX}, {CIM_UINT32, VT_I4, false, UINT32_MAX},
};

const IntegerType* IntegerTypeOf(CIMTYPE type) {
  for (const IntegerType& integer : kIntegerTypes) {
    if (integer.type == type) return &integer;
  }
  return nullptr;
}

// Whether `text` fits in what is left of a listing's text, and takes it; what
// does not fit is not kept.
bool Take(Text* text, std::size_t* text_left) {
  if (text->size() > *text_left) {
    text->clear();
    return false;
  }
  *text_left -= text->size();
  return true;
}

}  // namespace

WmiValueRead ReadWmiValue(const VARIANT& value, CIMTYPE type, Text* text) {
  const VARTYPE vt = value.vt;
  if (vt == VT_NULL || vt == VT_EMPTY) return WmiValueRead::kNull;
  // An array, by its type or its VARIANT (both flags are 0x2000).
  static_assert(int{CIM_FLAG_ARRAY} == int{VT_ARRAY});
  if ((type | vt) & VT_ARRAY) return WmiValueRead::kInexact;
  if (IsTextType(type) && vt == VT_BSTR) {
    const BSTR bstr = value.bstrVal;
    // Counted, not ended at a zero: a BSTR's count of bytes stands just
    // before its first character. A text with a zero inside is not given
    // back; zeros after it are padding (Wine pads some paths with them).
    const UINT bytes = bstr ? reinterpret_cast<const UINT*>(bstr)[-1] : 0;
    if (bytes % sizeof(wchar_t) != 0) return WmiValueRead::kInexact;
    std::wstring_view wide(bstr ? bstr : L"", bytes / sizeof(wchar_t));
    const std::size_t zero = wide.find(L'\0');
    if (zero != std::wstring_view::npos) {
      if (wide.find_first_not_of(L'\0', zero) != std::wstring_view::npos) {
        return WmiValueRead::kInexact;
      }
      wide = wide.substr(0, zero);
    }
    std::optional<Text> exact = ExactAnsiFromWide(wide);
    if (!exact) return WmiValueRead::kInexact;
    *text = std::move(*exact);
    return WmiValueRead::kRead;
  }
  if (type == CIM_BOOLEAN && vt == VT_BOOL) {
    *text = value.boolVal != VARIANT_FALSE ? "TRUE" : "FALSE";
    return WmiValueRead::kRead;
  }
  const IntegerType* integer = IntegerTypeOf(type);
  // Only in the carrier WMI's mapping gives the type.
  if (!integer || vt != integer->carrier) return WmiValueRead::kInexact;
  const LONG carried = vt == VT_UI1 ? value.bVal : vt == VT_I2 ? value.iVal : value.lVal;
  // An unsigned type in a signed carrier (a uint32 comes as VT_I4): its bits.
  std::uint32_t magnitude = static_cast<std::uint32_t>(carried);
  const bool negative = integer->is_signed && carried < 0;
  if (negative) magnitude = 0 - magnitude;
  if (magnitude > (integer->is_signed ? integer->span / 2 + negative : integer->span)) {
    return WmiValueRead::kInexact;
  }
  *text = Text(negative ? "-" : "") + Decimal(magnitude);
  return WmiValueRead::kRead;
}

void ReadWmiObject(IWbemClassObject* object, const wchar_t* name_space, WmiObject* read,
                   std::size_t* text_left) {
  // An object of another namespace (a binding may name one) has a path
  // that means another object here: it is never deleted by it.
  ScopedVariant found_in;
  Text found_name_space;
  if (FAILED(object->Get(L"__NAMESPACE", 0, found_in.Receive(), nullptr, nullptr)) ||
      ReadWmiValue(found_in.get(), CIM_STRING, &found_name_space) != WmiValueRead::kRead ||
      !SameIgnoringAsciiCase(found_name_space, AnsiFromWideMarked(name_space))) {
    read->exact = false;
  }
  for (Text* system : {&read->class_name, &read->path}) {
    ScopedVariant value;
    if (FAILED(object->Get(system == &read->path ? L"__RELPATH" : L"__CLASS", 0, value.Receive(),
                           nullptr, nullptr)) ||
        ReadWmiValue(value.get(), CIM_STRING, system) != WmiValueRead::kRead ||
        !Take(system, text_left)) {
      read->exact = false;
    }
  }
  if (FAILED(object->BeginEnumeration(WBEM_FLAG_NONSYSTEM_ONLY))) {
    read->exact = false;
    return;
  }
  for (int count = 0;; ++count) {
    ScopedBstr name;
    ScopedVariant value;
    CIMTYPE type = 0;
    const HRESULT next = object->Next(0, name.Receive(), value.Receive(), &type, nullptr);
    if (next == WBEM_S_NO_MORE_DATA) break;
    if (FAILED(next) || !name.get() || count >= kMostProperties) {
      read->exact = false;
      break;
    }
    std::optional<Text> property_name = ExactAnsiFromWide(name.get());
    // WMI sets the creator (an array) itself, and again when the object is put back.
    if (property_name && *property_name == "CreatorSID") continue;
    // Read in place, and taken off again when it is not listed.
    WmiProperty& property = read->properties.emplace_back();
    property.cim_type = static_cast<std::uint32_t>(type);
    const WmiValueRead got = ReadWmiValue(value.get(), type, &property.value);
    const bool kept =
        got == WmiValueRead::kRead && property_name && Take(&property.value, text_left);
    if (!kept) {
      if (got != WmiValueRead::kNull) read->exact = false;
      read->properties.pop_back();
      continue;
    }
    property.name = std::move(*property_name);
  }
  object->EndEnumeration();
}

bool WriteWmiValue(const WmiProperty& property, VARIANT* value) {
  const CIMTYPE type = static_cast<CIMTYPE>(property.cim_type);
  const Text& text = property.value;
  if (IsTextType(type)) {
    value->vt = VT_BSTR;
    value->bstrVal = OleAutomation().allocate(WideFromAnsi(text).c_str());
    return value->bstrVal != nullptr;
  }
  // The digits taken as they come (wrapping past 32 bits), then read back:
  // only a number of the type's range, written as the list writes it, reads
  // back as the same text.
  std::uint32_t number = 0;
  for (char digit : text) {
    if (digit != '-') number = number * 10 + static_cast<std::uint32_t>(digit - '0');
  }
  if (text[0] == '-') number = 0 - number;  // an empty text's [0] is its ending zero
  const IntegerType* integer = IntegerTypeOf(type);
  value->vt = type == CIM_BOOLEAN ? VARTYPE{VT_BOOL}
              : integer           ? integer->carrier
                                  : VARTYPE{VT_EMPTY};
  // The carrier's own field is the start of the same bytes: VARIANT_TRUE is
  // all ones, a uint32 goes in its bits.
  value->lVal =
      type == CIM_BOOLEAN ? -static_cast<LONG>(text == "TRUE") : static_cast<LONG>(number);
  Text back;
  return ReadWmiValue(*value, type, &back) == WmiValueRead::kRead && back == text;
}
