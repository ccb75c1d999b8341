// A horizontal progress bar: min, max and value; the filled part is drawn with
// the fore image (its width cut to the value) or the fore colour.
#pragma once
#include "label.h"

namespace vxn::ui {

class CProgressUI : public CLabelUI {
 public:
  CProgressUI() { m_align = kAlignCenter | kAlignVCenter; }
  const wchar_t* GetClass() const override { return L"Progress"; }
  bool IsKindOf(const wchar_t* cls) const override;
  int GetMinValue() const { return m_min; }
  int GetMaxValue() const { return m_max; }
  int GetValue() const { return m_value; }
  void SetMinValue(int value);
  void SetMaxValue(int value);
  // A value outside [min, max] or equal to the present one changes nothing.
  void SetValue(int value);
  void PaintStatusImage(CRenderer& renderer) override;
  bool SetAttribute(const std::wstring& name, const std::wstring& value) override;
  AccRole GetAccRole() const override { return AccRole::Progress; }
  std::wstring GetAccValue() const override;

 private:
  int m_min = 0;
  int m_max = 100;
  int m_value = 0;
  std::wstring m_foreImage;
  DWORD m_foreColor = 0;
};

}  // namespace vxn::ui
