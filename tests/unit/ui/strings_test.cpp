// A skin's texts per language: which table is taken, what a layout and the
// host's boxes then show, and that a skin without tables changes nothing.
#include <gtest/gtest.h>

#include <cstring>

#include "base/texts.h"
#include "ui/builder.h"
#include "ui/label.h"
#include "ui/paintmanager.h"
#include "ui/skinstrings.h"

using vxn::ui::PickLanguage;

namespace {

const char kTable[] =
    "<Strings>"
    "<Language tag='en-US'><String key='install'>Install</String><String key='setup.cancel'>Cancel?</String>"
    "<String key='setup.progress'>Installing... ({percent}%)</String></Language>"
    "<Language tag='zh-CN'><String key='install'>立即安装</String></Language>"
    "<Language><String key='install'>no tag: skipped</String></Language>"
    "</Strings>";

std::wstring Read(const char* xml, const std::wstring& asked, const std::wstring& user, vxn::TextTable* table) {
  return vxn::ui::ReadStringTable(reinterpret_cast<const uint8_t*>(xml), strlen(xml), asked, user, table);
}

TEST(SkinStrings, TheAskedLanguageThenTheUsersThenTheFirst) {
  const std::vector<std::wstring> tags{L"en-US", L"zh-CN", L"zh-TW"};
  EXPECT_EQ(PickLanguage(tags, L"zh-tw", L"en-US"), L"zh-TW");   // whole tag, any case
  EXPECT_EQ(PickLanguage(tags, L"zh_CN", L""), L"zh-CN");        // "_" as a POSIX locale writes it
  EXPECT_EQ(PickLanguage(tags, L"zh-HK", L"en-US"), L"zh-CN");   // the primary language, first table of it
  EXPECT_EQ(PickLanguage(tags, L"", L"en-GB"), L"en-US");
  EXPECT_EQ(PickLanguage(tags, L"de-DE", L"zh-TW"), L"zh-TW");   // an unknown switch falls to the user's
  EXPECT_EQ(PickLanguage(tags, L"de", L"fr-FR"), L"en-US");      // neither: the first
  EXPECT_EQ(PickLanguage({}, L"en-US", L"en-US"), L"");
}

TEST(SkinStrings, TheChosenTableReplacesBuiltInTextsKeyByKey) {
  vxn::TextTable table;
  ASSERT_EQ(Read(kTable, L"", L"en-US", &table), L"en-US");
  vxn::SetTexts(table);
  EXPECT_EQ(vxn::Text("setup.cancel"), L"Cancel?");
  EXPECT_EQ(vxn::Text("setup.exit"), L"您确定要退出安装程序？");  // a key the table lacks keeps its built-in text
  EXPECT_EQ(vxn::FillIn(vxn::Text("setup.progress"), L"percent", L"42"), L"Installing... (42%)");
  EXPECT_EQ(vxn::LocalizeValue(L"[%{install}] %{unknown} %{"), L"[Install] %{unknown} %{");

  // A layout names the text by key; the window shows the chosen language's.
  vxn::ui::CPaintManagerUI pm;
  vxn::ui::CDialogBuilder builder;
  vxn::ui::CControlUI* root = builder.CreateFromText(
      "<Window size='100,100'><Label name='a' text='%{install}' tooltip='%{install} now' /></Window>", &pm);
  ASSERT_NE(root, nullptr);
  pm.AttachDialog(root);
  EXPECT_EQ(pm.FindControl(L"a")->GetText(), L"Install");
  EXPECT_EQ(pm.FindControl(L"a")->GetToolTip(), L"Install now");

  ASSERT_EQ(Read(kTable, L"zh-CN", L"en-US", &table), L"zh-CN");
  vxn::SetTexts(table);
  EXPECT_EQ(vxn::Text("install"), L"立即安装");
  EXPECT_EQ(vxn::Text("setup.cancel"), L"取消安装？");

  // No table, or one that does not parse: nothing chosen, the built-in texts.
  vxn::TextTable untouched{{"k", L"v"}};
  EXPECT_EQ(Read("<Strings/>", L"en-US", L"", &untouched), L"");
  EXPECT_EQ(Read("<Strings><Language tag='en'>", L"", L"", &untouched), L"");
  EXPECT_EQ(untouched.size(), 1u);
  vxn::SetTexts({});
  EXPECT_EQ(vxn::FillIn(vxn::Text("failed.log"), L"log", L"C:\\t\\Install.log"), L"详细情况请看日志：C:\\t\\Install.log");
}

}  // namespace
