// A user's logon task written as the scheduler's XML: read back by the
// definition reader the finder uses (its programs exact, whatever they
// hold), and read element by element with Expat for what the reader does
// not take (triggers, principal, settings).
#include "platform/task_definition_xml.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "platform/scheduled_tasks.h"
#include "platform/text_utf8.h"

namespace {

const char kNamespace[] = "http://schemas.microsoft.com/windows/2004/02/mit/task";
const char kSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
const char kStart[] = "2026-12-10T12:00:00";

// Every element of a document by its path ("Task/Settings/Enabled"), in
// order, with its text and attributes; names without their namespace.
struct Element {
  std::string path;
  std::string text;
  std::map<std::string, std::string> attributes;
};

struct Document {
  bool well_formed = false;
  std::string root_namespace;
  std::vector<Element> elements;  // in the order they close
  std::vector<std::string> open;
  std::vector<Element> building;

  std::vector<std::string> TextsAt(const std::string& path) const {
    std::vector<std::string> texts;
    for (const Element& element : elements) {
      if (element.path == path) texts.push_back(element.text);
    }
    return texts;
  }
  const Element* At(const std::string& path) const {
    for (const Element& element : elements) {
      if (element.path == path) return &element;
    }
    return nullptr;
  }
};

std::string Local(const std::string& name, std::string* space = nullptr) {
  const std::size_t end = name.rfind('\x01');
  if (space) *space = end == std::string::npos ? "" : name.substr(0, end);
  return end == std::string::npos ? name : name.substr(end + 1);
}

Document Parse(const std::string& xml) {
  Document document;
  XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
  XML_SetUserData(parser, &document);
  XML_SetElementHandler(
      parser,
      [](void* data, const XML_Char* name, const XML_Char** attributes) {
        auto* doc = static_cast<Document*>(data);
        std::string space;
        const std::string local = Local(name, &space);
        if (doc->open.empty()) doc->root_namespace = space;
        Element element;
        for (const std::string& part : doc->open) element.path += part + "/";
        element.path += local;
        for (int at = 0; attributes[at]; at += 2) {
          element.attributes[Local(attributes[at])] = attributes[at + 1];
        }
        doc->open.push_back(local);
        doc->building.push_back(element);
      },
      [](void* data, const XML_Char*) {
        auto* doc = static_cast<Document*>(data);
        doc->elements.push_back(doc->building.back());
        doc->building.pop_back();
        doc->open.pop_back();
      });
  XML_SetCharacterDataHandler(parser, [](void* data, const XML_Char* text, int length) {
    static_cast<Document*>(data)->building.back().text.append(text,
                                                              static_cast<std::size_t>(length));
  });
  document.well_formed =
      XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE) == XML_STATUS_OK;
  XML_ParserFree(parser);
  return document;
}

UserLogonTask Task(const Text& path, const Text& arguments) {
  // "青禾守护" in code page 936.
  return {"\\qinghe-watch-S-1-5-21-1", kSid, "\xC7\xE0\xBA\xCC\xCA\xD8\xBB\xA4", {path, arguments}};
}

TEST(TaskDefinitionXml, ProgramsAnyCharactersReadBackExactly) {
  // A folder named "青禾 & <导航>", quotes of both kinds, markup, an
  // entity's look, a tab, a line break and a carriage return.
  const UserLogonTask task =
      Task("\"C:\\Program Files\\\xC7\xE0\xBA\xCC & <\xB5\xBC\xBA\xBD>\\qinghe-watch.exe\"",
           "--watch \"https://a.cn/?x=1&amp;y=<2>\" 'it''s' ]]> \t&lt;\r\n--end");
  const std::optional<std::string> xml = UserLogonTaskXml(task, kStart);
  ASSERT_TRUE(xml);
  const std::optional<TaskDefinition> read = ReadTaskDefinition(*xml);
  ASSERT_TRUE(read) << *xml;
  EXPECT_TRUE(read->enabled);
  ASSERT_EQ(read->programs.size(), 1u);
  EXPECT_EQ(read->programs[0].path, task.program.path);
  EXPECT_EQ(read->programs[0].arguments, task.program.arguments);
  // The same text given the interface as UTF-16 (with the mark a file has).
  const std::optional<std::string> units = Utf16LeFromUtf8(*xml);
  ASSERT_TRUE(units);
  const std::optional<TaskDefinition> wide = ReadTaskDefinition("\xFF\xFE" + *units);
  ASSERT_TRUE(wide);
  ASSERT_EQ(wide->programs.size(), 1u);
  EXPECT_EQ(wide->programs[0].arguments, task.program.arguments);
}

TEST(TaskDefinitionXml, StartedAtTheUsersLogonAndDailyAsTheUserUnelevated) {
  const UserLogonTask task = Task("C:\\q.exe", "--watch");
  const Document document = Parse(UserLogonTaskXml(task, kStart).value_or(""));
  ASSERT_TRUE(document.well_formed);
  EXPECT_EQ(document.root_namespace, kNamespace);
  ASSERT_TRUE(document.At("Task"));
  EXPECT_EQ(document.At("Task")->attributes.at("version"), "1.2");
  // The description in UTF-8: "青禾守护".
  EXPECT_EQ(document.TextsAt("Task/RegistrationInfo/Description"),
            std::vector<std::string>{"\xE9\x9D\x92\xE7\xA6\xBE\xE5\xAE\x88\xE6\x8A\xA4"});

  // Two triggers, nothing else.
  std::vector<std::string> triggers;
  for (const Element& element : document.elements) {
    if (element.path.rfind("Task/Triggers/", 0) == 0 &&
        element.path.find('/', 14) == std::string::npos) {
      triggers.push_back(element.path.substr(14));
    }
  }
  EXPECT_EQ(triggers, (std::vector<std::string>{"LogonTrigger", "CalendarTrigger"}));
  EXPECT_EQ(document.TextsAt("Task/Triggers/LogonTrigger/UserId"), std::vector<std::string>{kSid});
  EXPECT_EQ(document.TextsAt("Task/Triggers/CalendarTrigger/StartBoundary"),
            std::vector<std::string>{kStart});
  EXPECT_EQ(document.TextsAt("Task/Triggers/CalendarTrigger/ScheduleByDay/DaysInterval"),
            std::vector<std::string>{"1"});

  const Element* principal = document.At("Task/Principals/Principal");
  ASSERT_TRUE(principal);
  EXPECT_EQ(principal->attributes.at("id"), "Author");
  EXPECT_EQ(document.TextsAt("Task/Principals/Principal/UserId"), std::vector<std::string>{kSid});
  EXPECT_EQ(document.TextsAt("Task/Principals/Principal/LogonType"),
            std::vector<std::string>{"InteractiveToken"});
  EXPECT_EQ(document.TextsAt("Task/Principals/Principal/RunLevel"),
            std::vector<std::string>{"LeastPrivilege"});
  const Element* actions = document.At("Task/Actions");
  ASSERT_TRUE(actions);
  EXPECT_EQ(actions->attributes.at("Context"), "Author");

  const std::map<std::string, std::string> settings = {{"MultipleInstancesPolicy", "IgnoreNew"},
                                                       {"DisallowStartIfOnBatteries", "false"},
                                                       {"StopIfGoingOnBatteries", "false"},
                                                       {"StartWhenAvailable", "true"},
                                                       {"ExecutionTimeLimit", "PT1H"},
                                                       {"Enabled", "true"},
                                                       {"AllowStartOnDemand", "true"}};
  std::map<std::string, std::string> written;
  for (const Element& element : document.elements) {
    if (element.path.rfind("Task/Settings/", 0) == 0) {
      EXPECT_TRUE(written.emplace(element.path.substr(14), element.text).second) << element.path;
    }
  }
  EXPECT_EQ(written, settings);
}

TEST(TaskDefinitionXml, WithoutAnAccountNamesNoUser) {
  const Document document =
      Parse(UserLogonTaskXml({"\\t", "", "", {"C:\\q.exe", ""}}, kStart).value_or(""));
  ASSERT_TRUE(document.well_formed);
  for (const Element& element : document.elements) {
    EXPECT_NE(element.path.substr(element.path.rfind('/') + 1), "UserId") << element.path;
    // No arguments: no element for them.
    EXPECT_NE(element.path, "Task/Actions/Exec/Arguments");
  }
  EXPECT_TRUE(document.At("Task/Triggers/LogonTrigger"));
  EXPECT_EQ(document.TextsAt("Task/Actions/Exec/Command"), std::vector<std::string>{"C:\\q.exe"});
}

TEST(TaskDefinitionXml, RefusesWhatXmlCannotCarry) {
  const UserLogonTask good = Task("C:\\q.exe", "--watch");
  ASSERT_TRUE(UserLogonTaskXml(good, kStart));
  // A control character, in each text.
  for (const Text& bad : {Text("a\x01"
                               "b"),
                          Text("a\x1B[0m"), Text(1, '\0')}) {
    UserLogonTask task = good;
    task.program.arguments = bad;
    EXPECT_FALSE(UserLogonTaskXml(task, kStart));
    task = good;
    task.description = bad;
    EXPECT_FALSE(UserLogonTaskXml(task, kStart));
    task = good;
    task.program.path = bad;
    EXPECT_FALSE(UserLogonTaskXml(task, kStart));
  }
  // A lead byte with no second byte: no character of the code page.
  UserLogonTask cut = good;
  cut.program.path = "C:\\\xC7";
  EXPECT_FALSE(UserLogonTaskXml(cut, kStart));
  cut = good;
  cut.account = "S-1-5-21-\xC7";
  EXPECT_FALSE(UserLogonTaskXml(cut, kStart));
}

TEST(TaskDefinitionXml, StartBoundaryAtTheHour) {
  EXPECT_EQ(TaskStartBoundary(2026, 12, 10, 12), "2026-12-10T12:00:00");
  EXPECT_EQ(TaskStartBoundary(2027, 1, 5, 0), "2027-01-05T00:00:00");
  EXPECT_EQ(TaskStartBoundary(2030, 9, 30, 23), "2030-09-30T23:00:00");
}

}  // namespace
