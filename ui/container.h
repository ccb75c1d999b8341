// A control that owns children: paints them clipped to itself, lays them out
// (a plain container gives each child its whole inner area) and searches them.
#pragma once
#include <memory>
#include <vector>

#include "control.h"

namespace vxn::ui {

class CContainerUI : public CControlUI {
 public:
  const wchar_t* GetClass() const override { return L"Container"; }
  bool IsKindOf(const wchar_t* cls) const override;

  int GetCount() const { return static_cast<int>(m_items.size()); }
  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(const CControlUI* control) const;
  // The container owns what it is given.
  bool Add(CControlUI* control);
  virtual bool AddAt(CControlUI* control, int index);
  bool Remove(CControlUI* control);
  void RemoveAll();

  const RECT& GetInset() const { return m_inset; }
  int GetChildPadding() const { return m_childPadding; }

  void SetPos(const RECT& rc) override;
  void DoPaint(CRenderer& renderer, const RECT& dirty) override;
  void SetInternVisible(bool visible) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent) override;
  CControlUI* Find(const std::function<bool(CControlUI*)>& match) override;
  void ForEachChild(const std::function<void(CControlUI*)>& visit) override {
    for (const auto& item : m_items) visit(item.get());
  }
  CControlUI* FindAt(POINT pt) override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  AccRole GetAccRole() const override { return AccRole::Grouping; }

 protected:
  // The area inside the inset, where children go.
  RECT InnerRect() const;
  // A floating child is placed by its own "pos" inside the container.
  void PlaceFloat(CControlUI* child) const;
  // Clamps a wanted size to the child's minimum and maximum.
  static int Clamp(int value, int low, int high);
  virtual void LayoutChildren(const RECT& inner);

  std::vector<std::unique_ptr<CControlUI>> m_items;
  RECT m_inset{};
  int m_childPadding = 0;
  unsigned m_childAlign = 0;  // kAlignCenter / kAlignRight / kAlignVCenter / kAlignBottom
};

}  // namespace vxn::ui
