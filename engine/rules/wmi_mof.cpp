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

// Each object once, its references by the paths they hold, which mofcomp
// takes for an object reference as well as an alias.
void WriteObject(const WmiObject& object, TextArray& written, Text& mof) {
  if (object.class_name.empty() || HasText(written, object.path)) return;
  written.push_back(object.path);
  mof += "instance of ";
  mof += object.class_name;
  mof += "\r\n{\r\n";
  for (const WmiProperty& property : object.properties) {
    mof += "  ";
    mof += property.name;
    mof += " = ";
    mof += IsNumberOrBoolean(property.cim_type) ? property.value : Quoted(property.value);
    mof += ";\r\n";
  }
  mof += "};\r\n\r\n";
}

}  // namespace

Text MofOfSubscriptions(const std::vector<WmiSubscription>& subscriptions) {
  Text mof = "#pragma namespace(\"\\\\\\\\.\\\\root\\\\subscription\")\r\n\r\n";
  TextArray written;
  for (const WmiSubscription& subscription : subscriptions) {
    WriteObject(subscription.filter, written, mof);
    WriteObject(subscription.consumer, written, mof);
    WriteObject(subscription.binding, written, mof);
  }
  return mof;
}
