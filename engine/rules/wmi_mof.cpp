#include "engine/rules/wmi_mof.h"

namespace {

// CIM types whose values MOF writes unquoted.
bool IsNumberOrBoolean(std::uint32_t cim_type) {
  switch (cim_type) {
    case 2:   // sint16
    case 3:   // sint32
    case 11:  // boolean
    case 16:  // sint8
    case 17:  // uint8
    case 18:  // uint16
    case 19:  // uint32
    case 20:  // sint64
    case 21:  // uint64
      return true;
    default:
      return false;
  }
}

// A MOF string literal: backslash escapes for the quote, the backslash and
// the control characters.
Text Quoted(const Text& text) {
  Text quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        quoted += c;
    }
  }
  return quoted + "\"";
}

struct Written {
  Text path;
  Text alias;
};

const Text* AliasOf(const std::vector<Written>& written, const Text& path) {
  for (const Written& object : written) {
    if (SameIgnoringAsciiCase(object.path, path)) return &object.alias;
  }
  return nullptr;
}

void WriteObject(const WmiObject& object, bool aliased, std::vector<Written>& written, Text& mof) {
  if (object.class_name.empty() || AliasOf(written, object.path)) return;
  const Text alias = "$Object" + Decimal(written.size() + 1);
  mof += "instance of " + object.class_name + (aliased ? " as " + alias : Text()) + "\r\n{\r\n";
  for (const WmiProperty& property : object.properties) {
    Text value;
    if (property.cim_type == 102) {  // a reference: by alias where written here
      const Text* named = AliasOf(written, property.value);
      value = named ? *named : Quoted(property.value);
    } else {
      value = IsNumberOrBoolean(property.cim_type) ? property.value : Quoted(property.value);
    }
    mof += "  " + property.name + " = " + value + ";\r\n";
  }
  mof += "};\r\n\r\n";
  if (aliased) written.push_back(Written{object.path, alias});
}

}  // namespace

Text MofOfSubscriptions(const std::vector<WmiSubscription>& subscriptions) {
  Text mof = "#pragma namespace(\"\\\\\\\\.\\\\root\\\\subscription\")\r\n\r\n";
  std::vector<Written> written;
  for (const WmiSubscription& subscription : subscriptions) {
    WriteObject(subscription.filter, true, written, mof);
    WriteObject(subscription.consumer, true, written, mof);
    WriteObject(subscription.binding, false, written, mof);
  }
  return mof;
}
