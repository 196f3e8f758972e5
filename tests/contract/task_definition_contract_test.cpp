// The task definition reader, the same cases for both backends: the
// system's XmlLite under Wine, Expat on the host.
#include <gtest/gtest.h>

#include "platform/scheduled_tasks.h"
#include "platform/text_utf8.h"

namespace {

std::string Task(const std::string& inside) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Task version=\"1.2\" "
         "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">" +
         inside + "</Task>";
}

std::string Utf16WithMark(std::string utf8) {
  utf8.replace(utf8.find("UTF-8"), 5, "UTF-16");
  const auto units = Utf16LeFromUtf8(utf8);
  EXPECT_TRUE(units) << "not UTF-8";
  return "\xFF\xFE" + units.value_or("");
}

TEST(TaskDefinitionContract, ProgramsAndStateInEitherEncoding) {
  const std::string task = Task(
      "<Settings><Enabled>false</Enabled></Settings><Actions>"
      // "导航" in UTF-8: the source's own literals are GBK.
      "<Exec><Command>\"C:\\Program Files\\\xE5\xAF\xBC\xE8\x88\xAA\\nav.exe\"</Command>"
      "<Arguments>--url &#x68;ttp://a.cn/?x=1&amp;y=2</Arguments></Exec>"
      "<ComHandler><ClassId>{0}</ClassId></ComHandler>"
      "<Exec><Command>C:\\b.exe</Command></Exec></Actions>");
  for (const std::string& bytes : {task, Utf16WithMark(task)}) {
    const auto definition = ReadTaskDefinition(bytes);
    ASSERT_TRUE(definition);
    EXPECT_FALSE(definition->enabled);
    ASSERT_EQ(definition->programs.size(), 2u);
    // Code page 936 text, as every path of the program.
    EXPECT_EQ(definition->programs[0].path, "\"C:\\Program Files\\\xB5\xBC\xBA\xBD\\nav.exe\"");
    EXPECT_EQ(definition->programs[0].arguments, "--url http://a.cn/?x=1&y=2");
    EXPECT_EQ(definition->programs[1].path, "C:\\b.exe");
    EXPECT_EQ(definition->programs[1].arguments, "");
  }
}

TEST(TaskDefinitionContract, EnabledWhereSettingsDoNotSayOtherwise) {
  for (const char* settings :
       {"", "<Settings/>", "<Settings><Enabled>true</Enabled></Settings>",
        "<Settings><Enabled/></Settings>", "<Settings><Enabled>1</Enabled></Settings>"}) {
    const auto definition = ReadTaskDefinition(
        Task(std::string("<Triggers><BootTrigger><Enabled>false</Enabled></BootTrigger>"
                         "</Triggers>") +
             settings));
    ASSERT_TRUE(definition) << settings;
    EXPECT_TRUE(definition->enabled) << settings;
  }
  const auto off = ReadTaskDefinition(Task("<Settings><Enabled>0</Enabled></Settings>"));
  ASSERT_TRUE(off);
  EXPECT_FALSE(off->enabled);
}

TEST(TaskDefinitionContract, RefusesWhatIsNotAWholeTask) {
  const std::string whole = Task("<Actions><Exec><Command>a.exe</Command></Exec></Actions>");
  EXPECT_TRUE(ReadTaskDefinition(whole));
  EXPECT_FALSE(ReadTaskDefinition(whole.substr(0, whole.size() - 3)));
  EXPECT_FALSE(ReadTaskDefinition("<Job><Exec/></Job>"));
  EXPECT_FALSE(ReadTaskDefinition("<Task><Actions></Task>"));
  EXPECT_FALSE(ReadTaskDefinition(""));
  EXPECT_FALSE(ReadTaskDefinition(std::string("\x00\x01\x02\x03", 4)));
  // Nested deeper than any definition the scheduler writes.
  std::string deep;
  for (int level = 0; level < 100; ++level) deep += "<a>";
  for (int level = 0; level < 100; ++level) deep += "</a>";
  EXPECT_FALSE(ReadTaskDefinition(Task(deep)));
}

}  // namespace
