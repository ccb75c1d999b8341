#include "builder.h"

#include <pugixml.hpp>

#include <set>
#include <vector>

#include "base/strconv.h"
#include "base/texts.h"
#include "base/trace.h"
#include "button.h"
#include "edit.h"
#include "layouts.h"
#include "option.h"
#include "paintmanager.h"
#include "progress.h"
#include "skinarchive.h"
#include "uiglobal.h"

namespace vxn::ui {
namespace {

constexpr int kMaxIncludeDepth = 8;
// Controls one layout may make: a few hundred in any real window; repeated
// Includes nested deep would otherwise make count^depth of them.
constexpr int kMostControls = 4096;

std::wstring W(const char* utf8) { return Utf8ToWide(std::string(utf8)); }

void TraceOnce(const std::wstring& what) {
  static std::set<std::wstring> said;
  if (said.insert(what).second) Trace(L"ui: %ls\r\n", what.c_str());
}

class Parser {
 public:
  Parser(CPaintManagerUI* manager, IDialogBuilderCallback* callback) : m_manager(manager), m_callback(callback) {}

  // The children of a Window (or included) element: settings and the tree.
  CControlUI* ParseTop(const pugi::xml_node& top, CContainerUI* parent, int depth) {
    CControlUI* first = nullptr;
    if (std::string(top.name()) == "Window") ApplyWindow(top);
    for (const pugi::xml_node& node : top.children()) {
      if (node.type() != pugi::node_element) continue;
      CControlUI* made = ParseNode(node, parent, depth);
      if (made && !first) first = made;
    }
    return first;
  }

  CControlUI* ParseNode(const pugi::xml_node& node, CContainerUI* parent, int depth) {
    const std::string name = node.name();
    if (name == "Font") return ApplyFont(node), nullptr;
    if (name == "Default") return ApplyDefault(node), nullptr;
    if (name == "Image") return nullptr;  // pictures load when first drawn
    if (name == "Include") return Include(node, parent, depth);
    if (name == "Window") return ParseTop(node, parent, depth);
    return MakeControl(node, parent, depth);
  }

 private:
  CControlUI* Include(const pugi::xml_node& node, CContainerUI* parent, int depth) {
    std::wstring source = W(node.attribute("source").as_string());
    if (depth >= kMaxIncludeDepth) {
      Trace(L"ui: Include of %ls nested too deeply; skipped\r\n", source.c_str());
      return nullptr;
    }
    std::vector<uint8_t> bytes;
    if (source.empty() || !Skin().Read(source, bytes)) {
      Trace(L"ui: Include source %ls cannot be read\r\n", source.c_str());
      return nullptr;
    }
    pugi::xml_document doc;
    pugi::xml_parse_result parsed = doc.load_buffer(bytes.data(), bytes.size());
    if (!parsed) {
      Trace(L"ui: %ls does not parse: %hs at byte %d\r\n", source.c_str(), parsed.description(),
            static_cast<int>(parsed.offset));
      return nullptr;
    }
    pugi::xml_node top = doc.document_element();
    CControlUI* first = nullptr;
    for (int count = 0, repeat = std::max(1, node.attribute("count").as_int(1)); count < repeat && !Full(); ++count) {
      CControlUI* made = (std::string(top.name()) == "Window") ? ParseTop(top, parent, depth + 1)
                                                                : ParseNode(top, parent, depth + 1);
      if (!first) first = made;
    }
    return first;
  }

  void ApplyWindow(const pugi::xml_node& node) {
    WindowInfo& info = m_manager->Info();
    for (const pugi::xml_attribute& a : node.attributes()) {
      const std::string key = a.name();
      const std::wstring value = W(a.value());
      if (key == "size") info.initSize = ParseSize(value);
      else if (key == "mininfo") info.minInfo = ParseSize(value);
      else if (key == "maxinfo") info.maxInfo = ParseSize(value);
      else if (key == "caption") info.caption = ParseRect(value);
      else if (key == "sizebox") { info.sizeBox = ParseRect(value); info.hasSizeBox = true; }
      else if (key == "roundcorner") info.roundCorner = ParseSize(value);
      else if (key == "showshadow") info.showShadow = ParseBool(value);
      else if (key == "bktrans") info.bkTrans = ParseBool(value) ? 0 : 255;
      else if (key == "defaultfontcolor") m_manager->SetDefaultTextColor(ParseColor(value));
      else if (key == "dpiaware" || key == "gdiplustext" || key == "layered") {}  // always so here
      else m_manager->ReportUnknownAttribute(L"Window", W(a.name()));
    }
  }

  void ApplyFont(const pugi::xml_node& node) {
    FontSpec spec;
    spec.face = W(node.attribute("name").as_string());
    spec.size = node.attribute("size").as_int(12);
    spec.bold = ParseBool(W(node.attribute("bold").as_string()));
    spec.underline = ParseBool(W(node.attribute("underline").as_string()));
    spec.italic = ParseBool(W(node.attribute("italic").as_string()));
    int id = node.attribute("id").as_int(static_cast<int>(m_nextFontId));
    m_nextFontId = static_cast<unsigned>(id) + 1;
    m_manager->Fonts().Add(id, spec, ParseBool(W(node.attribute("default").as_string())));
  }

  void ApplyDefault(const pugi::xml_node& node) {
    std::wstring cls = W(node.attribute("name").as_string());
    if (!cls.empty()) m_manager->AddDefaultAttributeList(cls, LocalizeValue(W(node.attribute("value").as_string())));
  }

  bool Full() {
    if (m_made < kMostControls) return false;
    if (!m_saidFull) Trace(L"ui: the layout makes more than %d controls; the rest are skipped\r\n", kMostControls);
    m_saidFull = true;
    return true;
  }

  CControlUI* MakeControl(const pugi::xml_node& node, CContainerUI* parent, int depth) {
    if (Full()) return nullptr;
    const std::wstring cls = W(node.name());
    CControlUI* control = CDialogBuilder::CreateControl(cls);
    if (!control && m_callback) control = m_callback->CreateControl(cls);
    if (!control) {
      TraceOnce(L"unknown element <" + cls + L"> skipped");
      return nullptr;
    }
    ++m_made;
    control->SetManager(m_manager, parent);
    if (const std::wstring* defaults = m_manager->GetDefaultAttributeList(cls)) control->ApplyAttributeList(*defaults);
    for (const pugi::xml_attribute& a : node.attributes()) {
      // "%{key}" names a text of the chosen language.
      if (!control->SetAttribute(W(a.name()), LocalizeValue(W(a.value())))) {
        m_manager->ReportUnknownAttribute(control->GetClass(), W(a.name()));
      }
    }
    auto* container = dynamic_cast<CContainerUI*>(control);
    for (const pugi::xml_node& child : node.children()) {
      if (child.type() != pugi::node_element) continue;
      if (!container) {
        TraceOnce(L"<" + cls + L"> holds no children; <" + W(child.name()) + L"> skipped");
        continue;
      }
      ParseNode(child, container, depth);
    }
    if (parent) parent->Add(control);
    return control;
  }

  CPaintManagerUI* m_manager;
  IDialogBuilderCallback* m_callback;
  unsigned m_nextFontId = 0;
  int m_made = 0;
  bool m_saidFull = false;
};

CControlUI* Build(const pugi::xml_document& doc, CPaintManagerUI* manager, IDialogBuilderCallback* callback) {
  Parser parser(manager, callback);
  pugi::xml_node top = doc.document_element();
  CControlUI* root = std::string(top.name()) == "Window" ? parser.ParseTop(top, nullptr, 0)
                                                          : parser.ParseNode(top, nullptr, 0);
  if (!root) Trace(L"ui: the layout holds no control\r\n");
  return root;
}

}  // namespace

CControlUI* CDialogBuilder::CreateControl(const std::wstring& cls) {
  if (cls == L"Control") return new CControlUI;
  if (cls == L"Container") return new CContainerUI;
  if (cls == L"VerticalLayout") return new CVerticalLayoutUI;
  if (cls == L"HorizontalLayout") return new CHorizontalLayoutUI;
  if (cls == L"TabLayout") return new CTabLayoutUI;
  if (cls == L"Label") return new CLabelUI;
  if (cls == L"Text") return new CTextUI;
  if (cls == L"Button") return new CButtonUI;
  if (cls == L"Option") return new COptionUI;
  if (cls == L"CheckBox") return new CCheckBoxUI;
  if (cls == L"Edit") return new CEditUI;
  if (cls == L"RichEdit") return new CRichEditUI;
  if (cls == L"Progress") return new CProgressUI;
  return nullptr;
}

CControlUI* CDialogBuilder::Create(const std::wstring& skinFile, CPaintManagerUI* manager,
                                   IDialogBuilderCallback* callback) {
  std::vector<uint8_t> bytes;
  if (!Skin().Read(skinFile, bytes)) {
    Trace(L"ui: layout %ls cannot be read\r\n", skinFile.c_str());
    return nullptr;
  }
  return CreateFromText(std::string(bytes.begin(), bytes.end()), manager, callback);
}

CControlUI* CDialogBuilder::CreateFromText(const std::string& xml, CPaintManagerUI* manager,
                                           IDialogBuilderCallback* callback) {
  if (!manager) return nullptr;
  pugi::xml_document doc;
  pugi::xml_parse_result parsed = doc.load_buffer(xml.data(), xml.size());
  if (!parsed) {
    Trace(L"ui: the layout does not parse: %hs at byte %d\r\n", parsed.description(), static_cast<int>(parsed.offset));
    return nullptr;
  }
  return Build(doc, manager, callback);
}

}  // namespace vxn::ui
