// One WMI object as the subscriptions' list gives it (platform/
// wmi_subscriptions.h), and its values written back: a VARIANT of each CIM
// type read as text, and text made the VARIANT WMI's automation mapping
// gives that type (docs/wmi-subscriptions.md, COM backend).
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wbemcli.h>

#include "platform/wmi_subscriptions.h"

enum class WmiValueRead {
  kRead,
  kNull,     // no value: the property is not listed
  kInexact,  // a value the list cannot give back as it was
};

// `value` of a property of CIM type `type` as text (see WmiProperty::value).
WmiValueRead ReadWmiValue(const VARIANT& value, CIMTYPE type, Text* text);

// `object`'s class, relative path and own properties, into the empty `read`.
// Their texts are taken from `text_left`: once it is spent, none is kept
// and the object is not exact.
// Not exact when it lies in another namespace than `name_space`.
void ReadWmiObject(IWbemClassObject* object, const wchar_t* name_space, WmiObject* read,
                   std::size_t* text_left);

// Fills the empty `value` with `property`'s value as WMI takes one of its
// type; false when the text does not fit the type (the value may then need
// clearing all the same).
bool WriteWmiValue(const WmiProperty& property, VARIANT* value);
