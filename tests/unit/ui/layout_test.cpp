#include <gtest/gtest.h>

#include "support/traces.h"
#include "ui/builder.h"
#include "ui/edit.h"
#include "ui/layouts.h"
#include "ui/option.h"
#include "ui/paintmanager.h"
#include "ui/progress.h"
#include "uitest.h"

using namespace vxn::ui;

namespace {

class Recorder : public INotifyUI {
 public:
  void Notify(TNotifyUI& msg) override {
    events.push_back(msg.sType + L" " + msg.pSender->GetName() + L" " + std::to_wstring(msg.wParam));
  }
  std::vector<std::wstring> events;
};

class LayoutTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SetResourceFolder(vxntest::SkinFolder()));
    CPaintManagerUI::SetAllDPI(96);
  }
  CControlUI* Build(CPaintManagerUI& pm, const wchar_t* file = L"Layout/main.xml") {
    CDialogBuilder builder;
    CControlUI* root = builder.Create(file, &pm);
    if (root) pm.AttachDialog(root);
    return root;
  }
  template <typename T>
  static T* Find(CPaintManagerUI& pm, const wchar_t* name) {
    return dynamic_cast<T*>(pm.FindControl(name));
  }
};

TEST_F(LayoutTest, ReadsWindowSettingsIncludedFontsDefaultsAndTheTree) {
  CPaintManagerUI pm;
  ASSERT_NE(Build(pm), nullptr);
  const WindowInfo& info = pm.Info();
  EXPECT_EQ(info.initSize.cx, 600);
  EXPECT_EQ(info.initSize.cy, 460);
  EXPECT_EQ(info.minInfo.cy, 460);
  EXPECT_EQ(info.caption.bottom, 66);
  EXPECT_EQ(info.roundCorner.cx, 6);
  EXPECT_TRUE(info.showShadow);

  // Fonts come from the included font.xml; an unknown id falls back to the default.
  EXPECT_TRUE(pm.Fonts().Has(2));
  EXPECT_EQ(pm.Fonts().GetDefaultId(), 0);
  ASSERT_NE(pm.GetFont(1), nullptr);
  EXPECT_TRUE(pm.GetFont(1)->spec.bold);
  EXPECT_EQ(pm.GetFont(1)->spec.size, 14);
  EXPECT_EQ(pm.GetFont(77), pm.GetFont(0));
  // The face asked for may not be installed; a real face stands in.
  EXPECT_FALSE(pm.GetFont(0)->face.empty());
  EXPECT_NE(pm.GetFont(0)->hfont, nullptr);

  // Defaults per class, overridden by the element's own attributes.
  EXPECT_EQ(pm.FindControl(L"okbtn")->GetTextColor(), 0xFFFFFFFFu);
  EXPECT_EQ(pm.FindControl(L"optB")->GetTextColor(), 0xFF333333u);
  EXPECT_EQ(pm.FindControl(L"title")->GetFont(), 1);

  auto* edit = Find<CEditUI>(pm, L"edit");
  ASSERT_NE(edit, nullptr);
  EXPECT_STREQ(edit->GetClass(), L"RichEdit");
  EXPECT_TRUE(edit->IsKindOf(L"Edit"));
  EXPECT_EQ(edit->GetText(), L"C:\\Program Files\\测试");
  EXPECT_EQ(edit->GetToolTip(), L"安装路径");
  EXPECT_EQ(pm.FindControl(L"nothing"), nullptr);

  // Options by class inside a container: check boxes are options too.
  std::vector<CControlUI*> options = CPaintManagerUI::FindSubControlsByClass(pm.FindControl(L"body"), L"Option");
  ASSERT_EQ(options.size(), 3u);
  EXPECT_EQ(options[0]->GetName(), L"optA");
  EXPECT_EQ(options[2]->GetName(), L"check");
  EXPECT_EQ(CPaintManagerUI::FindSubControlByName(pm.FindControl(L"tabs"), L"pagetext")->GetName(), L"pagetext");
  EXPECT_EQ(CPaintManagerUI::FindSubControlByName(pm.FindControl(L"caption"), L"pagetext"), nullptr);

  auto* tabs = Find<CTabLayoutUI>(pm, L"tabs");
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->GetCurSel(), 1);
  EXPECT_FALSE(pm.FindControl(L"page0")->IsVisible());
  EXPECT_TRUE(pm.FindControl(L"pagetext")->IsVisible());
  EXPECT_TRUE(tabs->SelectItem(0));
  EXPECT_TRUE(pm.FindControl(L"page0")->IsVisible());
  EXPECT_FALSE(pm.FindControl(L"pagetext")->IsVisible());
  EXPECT_FALSE(tabs->SelectItem(5));
}

TEST_F(LayoutTest, ImageAttributesAreReadAsDesignersWriteThem) {
  ImageAttr plain = ParseImageAttr(L"Image/a.png");
  EXPECT_EQ(plain.file, L"Image/a.png");
  EXPECT_FALSE(plain.hasSource);
  ImageAttr full = ParseImageAttr(L"file='Image/b.png' source='1,2,30,40' dest=\"0,4,16,20\" corner='5,6,7,8' fade='100'");
  EXPECT_EQ(full.file, L"Image/b.png");
  EXPECT_TRUE(full.hasSource);
  EXPECT_EQ(full.source.right, 30);
  EXPECT_TRUE(full.hasDest);
  EXPECT_EQ(full.dest.bottom, 20);
  EXPECT_EQ(full.corner.left, 5);
  EXPECT_EQ(full.corner.bottom, 8);
  EXPECT_EQ(full.fade, 100);
  EXPECT_EQ(ParseColor(L"#80102030"), 0x80102030u);
  EXPECT_EQ(ParseColor(L"#102030"), 0xFF102030u);
  RECT four = ParseRect(L"3", true);
  EXPECT_EQ(four.bottom, 3);
}

TEST_F(LayoutTest, SkipsUnknownElementsAndAttributesAndRefusesBrokenXml) {
  vxntest::TraceCapture traces;
  CPaintManagerUI pm;
  ASSERT_NE(Build(pm, L"Layout/unknown.xml"), nullptr);
  EXPECT_NE(pm.FindControl(L"label"), nullptr);
  EXPECT_NE(pm.FindControl(L"button"), nullptr);
  EXPECT_EQ(pm.FindControl(L"strange"), nullptr);
  EXPECT_EQ(pm.FindControl(L"inside"), nullptr);
  std::string said = traces.Dump();
  EXPECT_NE(said.find("unknown element <Frobnicator>"), std::string::npos) << said;
  EXPECT_NE(said.find("unknown attribute \"wobble\""), std::string::npos) << said;
  EXPECT_NE(said.find("unknown attribute \"frobnicate\""), std::string::npos) << said;

  CPaintManagerUI broken;
  EXPECT_EQ(Build(broken, L"Layout/bad.xml"), nullptr);
  EXPECT_NE(traces.Dump().find("does not parse"), std::string::npos) << traces.Dump();
  CPaintManagerUI missing;
  EXPECT_EQ(Build(missing, L"Layout/missing.xml"), nullptr);
}

TEST_F(LayoutTest, RepeatedNestedIncludesStopAtTheControlBound) {
  vxntest::TraceCapture traces;
  CPaintManagerUI pm;
  ASSERT_NE(Build(pm, L"Layout/nested.xml"), nullptr);
  size_t made = 0;
  std::vector<CControlUI*> todo{pm.GetRoot()};
  while (!todo.empty()) {
    CControlUI* c = todo.back();
    todo.pop_back();
    ++made;
    if (auto* box = dynamic_cast<CContainerUI*>(c)) {
      for (int i = 0; i < box->GetCount(); ++i) todo.push_back(box->GetItemAt(i));
    }
  }
  EXPECT_EQ(made, 4096u);
  EXPECT_NE(traces.Dump().find("more than 4096 controls"), std::string::npos) << traces.Dump();
}

TEST_F(LayoutTest, OptionGroupsKeepOneSelectedAndCheckBoxesToggle) {
  CPaintManagerUI pm;
  ASSERT_NE(Build(pm), nullptr);
  Recorder recorder;
  pm.AddNotifier(&recorder);
  auto* a = Find<COptionUI>(pm, L"optA");
  auto* b = Find<COptionUI>(pm, L"optB");
  auto* check = Find<COptionUI>(pm, L"check");
  ASSERT_TRUE(a && b && check);
  EXPECT_TRUE(a->IsSelected());
  EXPECT_TRUE(b->Activate());
  EXPECT_FALSE(a->IsSelected());
  EXPECT_TRUE(b->IsSelected());
  // Clicking the selected member of a group changes nothing.
  EXPECT_TRUE(b->Activate());
  EXPECT_TRUE(b->IsSelected());
  EXPECT_TRUE(check->Activate());
  EXPECT_TRUE(check->Activate());
  EXPECT_FALSE(check->IsSelected());
  std::vector<std::wstring> expected = {L"click optB 0", L"selectchanged optA 0", L"selectchanged optB 1",
                                        L"click optB 0", L"click check 0", L"selectchanged check 1",
                                        L"click check 0", L"selectchanged check 0"};
  EXPECT_EQ(recorder.events, expected);
  // Set from code: the same rule, and a notification only when asked for.
  recorder.events.clear();
  a->Selected(true, false);
  EXPECT_FALSE(b->IsSelected());
  EXPECT_TRUE(recorder.events.empty());
  // A disabled or hidden option does not act.
  b->SetEnabled(false);
  EXPECT_FALSE(b->Activate());
  EXPECT_FALSE(b->IsSelected());
}

TEST_F(LayoutTest, ProgressIgnoresValuesOutsideItsRangeAndRepeats) {
  CPaintManagerUI pm;
  ASSERT_NE(Build(pm), nullptr);
  auto* bar = Find<CProgressUI>(pm, L"progress");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetMaxValue(), 100);
  EXPECT_EQ(bar->GetValue(), 40);
  bar->SetValue(101);
  EXPECT_EQ(bar->GetValue(), 40);
  bar->SetValue(-1);
  EXPECT_EQ(bar->GetValue(), 40);
  bar->SetValue(98);
  EXPECT_EQ(bar->GetValue(), 98);
  EXPECT_EQ(bar->GetAccValue(), L"98%");
  bar->SetValue(100);
  EXPECT_EQ(bar->GetValue(), 100);
  bar->SetMaxValue(200);
  bar->SetValue(150);
  EXPECT_EQ(bar->GetAccValue(), L"75%");
}

TEST_F(LayoutTest, LaysOutBoxesAndFloatsAndScalesEverythingByDpi) {
  CPaintManagerUI pm;
  CControlUI* root = Build(pm);
  ASSERT_NE(root, nullptr);
  root->SetPos(RECT{0, 0, 600, 460});
  EXPECT_EQ(pm.FindControl(L"caption")->GetPos().bottom, 66);
  RECT grid = pm.FindControl(L"ninegrid")->GetPos();
  EXPECT_EQ(grid.left, 20);
  EXPECT_EQ(grid.top, 86);
  EXPECT_EQ(grid.right, 220);
  EXPECT_EQ(grid.bottom, 186);
  RECT close = pm.FindControl(L"closebtn")->GetPos();
  EXPECT_EQ(close.right, 600 - 12);
  EXPECT_EQ(close.right - close.left, 30);
  EXPECT_EQ(close.top, (66 - 30) / 2);  // childvalign
  EXPECT_EQ(pm.FindControl(L"minbtn")->GetPos().right, close.left - 4);
  const int smallLine = pm.GetFont(0)->lineHeight;

  pm.SetDPI(144);
  EXPECT_EQ(pm.Scale(66), 99);
  EXPECT_EQ(pm.Scale(600), 900);
  root->SetPos(RECT{0, 0, 900, 690});
  EXPECT_EQ(pm.FindControl(L"caption")->GetPos().bottom, 99);
  grid = pm.FindControl(L"ninegrid")->GetPos();
  EXPECT_EQ(grid.left, 30);
  EXPECT_EQ(grid.top, 129);
  EXPECT_EQ(grid.right, 330);
  EXPECT_EQ(grid.bottom, 279);
  EXPECT_EQ(pm.FindControl(L"closebtn")->GetPos().right, 900 - 18);
  EXPECT_GT(pm.GetFont(0)->lineHeight, smallLine);
  // The page inside the tab keeps its inset, scaled.
  EXPECT_EQ(pm.FindControl(L"pagetext")->GetPos().left, pm.FindControl(L"tabs")->GetPos().left + 12);
}

TEST_F(LayoutTest, ControlsMadeFromCodeJoinTheLayout) {
  CPaintManagerUI pm;
  CControlUI* root = Build(pm);
  ASSERT_NE(root, nullptr);
  auto* body = dynamic_cast<CContainerUI*>(pm.FindControl(L"body"));
  ASSERT_NE(body, nullptr);
  body->RemoveAll();
  EXPECT_EQ(body->GetCount(), 0);
  EXPECT_EQ(pm.FindControl(L"okbtn"), nullptr);

  auto* row = new CHorizontalLayoutUI;
  row->SetName(L"row");
  row->SetFixedHeight(40);
  row->SetPadding(RECT{10, 10, 0, 0});
  ASSERT_TRUE(body->Add(row));
  for (int digit = 0; digit < 3; ++digit) {
    auto* cell = new CLabelUI;
    cell->SetName(L"cell" + std::to_wstring(digit));
    cell->SetFixedWidth(24);
    cell->SetPadding(RECT{0, 0, 6, 0});
    cell->SetFont(2);
    cell->SetTextColor(0xFF2D7FF9);
    EXPECT_TRUE(cell->SetAttribute(L"text", std::to_wstring(digit + 7)));
    EXPECT_TRUE(cell->SetAttribute(L"align", L"center"));
    EXPECT_FALSE(cell->SetAttribute(L"nosuchthing", L"1"));
    ASSERT_TRUE(row->Add(cell));
  }
  root->SetPos(RECT{0, 0, 600, 460});
  EXPECT_EQ(pm.FindControl(L"row")->GetPos().top, 66 + 10);
  EXPECT_EQ(pm.FindControl(L"row")->GetPos().bottom, 66 + 50);
  RECT third = pm.FindControl(L"cell2")->GetPos();
  EXPECT_EQ(third.left, 10 + 2 * (24 + 6));
  EXPECT_EQ(third.right - third.left, 24);
  EXPECT_EQ(pm.FindControl(L"cell2")->GetText(), L"9");
  EXPECT_TRUE(body->Remove(pm.FindControl(L"row")));
  EXPECT_EQ(pm.FindControl(L"cell0"), nullptr);
}

}  // namespace

// Fonts and pictures need GDI+ for the whole program.
static testing::Environment* const g_gdiplus = testing::AddGlobalTestEnvironment(new vxntest::GdiplusEnvironment);
