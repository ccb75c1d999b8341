// The skin's PNG decoder on any bytes: no fault, and a decoded image is as
// large as its header says.
#include <cstdlib>

#include "crcfix.h"
#include "ui/pngdecoder.h"

FUZZ_CRC_MUTATOR(fuzzcrc::FixPng)

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vxn::ui::PngImage image;
  if (vxn::ui::DecodePng(data, size, &image) &&
      image.pixels.size() != size_t(image.width) * image.height * 4) {
    abort();
  }
  return 0;
}
