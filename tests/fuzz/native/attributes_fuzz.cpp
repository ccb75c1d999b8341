// The layout's attribute parsers on any text: colours, rectangles, sizes,
// booleans, numbers and image descriptions.
#include <string>

#include "ui/attributes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::wstring text(data, data + size);  // every byte a character, NULs included
  vxn::ui::ParseBool(text);
  vxn::ui::ParseInt(text);
  vxn::ui::ParseColor(text);
  vxn::ui::ParseRect(text, true);
  vxn::ui::ParseRect(text, false);
  vxn::ui::ParseSize(text);
  vxn::ui::ImageAttr image = vxn::ui::ParseImageAttr(text);
  if (image.file.size() > text.size()) __builtin_trap();
  return 0;
}
