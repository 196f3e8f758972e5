#include "platform/task_definition_xml.h"

#include "platform/text_utf8.h"

namespace {

// `text` as XML character data in UTF-8, every character that could end
// or open markup written as a reference; a carriage return too, which a
// reader would otherwise turn into a line feed.
bool AppendEscaped(std::string& xml, const Text& text) {
  const std::optional<std::string> utf8 = Utf8FromText(text);
  if (!utf8) return false;
  for (const char c : *utf8) {
    switch (c) {
      case '&':
        xml += "&amp;";
        break;
      case '<':
        xml += "&lt;";
        break;
      case '>':
        xml += "&gt;";
        break;
      case '"':
        xml += "&quot;";
        break;
      case '\'':
        xml += "&apos;";
        break;
      case '\r':
        xml += "&#13;";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') return false;
        xml += c;
    }
  }
  return true;
}

// <name>text</name>
bool AppendElement(std::string& xml, const char* name, const Text& text) {
  xml += "<";
  xml += name;
  xml += ">";
  if (!AppendEscaped(xml, text)) return false;
  xml += "</";
  xml += name;
  xml += ">";
  return true;
}

Text TwoDigits(int number) {
  return Text(1, static_cast<char>('0' + number / 10 % 10)) +
         Text(1, static_cast<char>('0' + number % 10));
}

}  // namespace

Text TaskStartBoundary(int year, int month, int day, int hour) {
  Text year_digits = Decimal(static_cast<std::uint64_t>(year < 0 ? 0 : year));
  while (year_digits.size() < 4) year_digits.insert(year_digits.begin(), '0');
  return year_digits + "-" + TwoDigits(month) + "-" + TwoDigits(day) + "T" + TwoDigits(hour) +
         ":00:00";
}

std::optional<std::string> UserLogonTaskXml(const UserLogonTask& task, const Text& start_boundary) {
  const bool has_user = !task.account.empty();
  std::string xml =
      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
      "<RegistrationInfo>";
  bool whole = AppendElement(xml, "Description", task.description);
  xml += "</RegistrationInfo><Triggers><LogonTrigger>";
  if (has_user) whole = whole && AppendElement(xml, "UserId", task.account);
  xml += "</LogonTrigger><CalendarTrigger>";
  whole = whole && AppendElement(xml, "StartBoundary", start_boundary);
  xml +=
      "<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger>"
      "</Triggers><Principals><Principal id=\"Author\">";
  if (has_user) whole = whole && AppendElement(xml, "UserId", task.account);
  xml +=
      "<LogonType>InteractiveToken</LogonType><RunLevel>LeastPrivilege</RunLevel>"
      "</Principal></Principals><Settings>"
      "<MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>"
      "<DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>"
      "<StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>"
      "<StartWhenAvailable>true</StartWhenAvailable>"
      "<AllowStartOnDemand>true</AllowStartOnDemand>"
      "<Enabled>true</Enabled>"
      "<ExecutionTimeLimit>PT1H</ExecutionTimeLimit>"
      "</Settings><Actions Context=\"Author\"><Exec>";
  whole = whole && AppendElement(xml, "Command", task.program.path);
  if (!task.program.arguments.empty()) {
    whole = whole && AppendElement(xml, "Arguments", task.program.arguments);
  }
  xml += "</Exec></Actions></Task>";
  if (!whole) return std::nullopt;
  return xml;
}
