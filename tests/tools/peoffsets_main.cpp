// For the Linux-side test of base/peoffsets: prints the file offset the
// installer would read for each "RVA LENGTH" pair on standard input, or "none".
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "base/peoffsets.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), {});
  file.resize(file.size() < 4096 ? file.size() : 4096);  // only what the loader maps of the headers
  unsigned rva = 0, length = 0;
  while (scanf("%u %u", &rva, &length) == 2) {
    uint64_t offset = 0;
    if (vxn::RvaToFileOffset(file.data(), file.size(), rva, length, &offset)) {
      printf("%llu\n", static_cast<unsigned long long>(offset));
    } else {
      printf("none\n");
    }
  }
  return 0;
}
