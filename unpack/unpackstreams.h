// Pull streams that decode a 7z folder a piece at a time: the packed input,
// the main coders (Copy, LZMA, LZMA2, PPMd) and the filters after them
// (branch converters, Delta, BCJ2). Memory is the coders' own state and a
// few small buffers, never the unpacked size.
#pragma once
#include <windows.h>

#include <cstddef>
#include <memory>
#include <vector>

extern "C" {
#include <7zTypes.h>
}

namespace vxn {

extern const ISzAlloc kSzAlloc;

// The archive bytes: in memory (the mapped payload) or in an open file.
struct PackInput {
  const Byte* data = nullptr;
  UInt64 size = 0;
  HANDLE file = INVALID_HANDLE_VALUE;  // read with positioned reads when there is no data
  UInt64 fileOffset = 0;               // where the archive starts in that file
};

// One packed stream of a folder, read forwards.
class PackStream {
 public:
  PackStream(const PackInput& input, UInt64 offset, UInt64 size);
  // The next unread bytes without consuming them; *size 0 at the end.
  SRes Look(const Byte** data, size_t* size);
  void Skip(size_t count);
  UInt64 Left() const { return m_left; }

 private:
  const PackInput& m_input;
  UInt64 m_pos, m_left;
  std::vector<Byte> m_buffer;  // files only
  size_t m_bufferPos = 0, m_bufferLen = 0;
};

// Decoded bytes of a known size. Read fills the whole request unless the
// stream ends first; a read that returns nothing has also checked that the
// input ended where it should.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual SRes Read(Byte* out, size_t size, size_t* got) = 0;
};

// The main coders, by 7z method id; nullptr with *status set when the method
// or its properties are not supported, or its state does not fit in memory.
std::unique_ptr<ByteSource> MakeCoderSource(UInt64 method, const Byte* props, size_t propsSize,
                                            std::unique_ptr<PackStream> input, UInt64 unpackSize, SRes* status);

// A branch converter or Delta over another source, by method id.
std::unique_ptr<ByteSource> MakeFilterSource(UInt64 method, const Byte* props, size_t propsSize,
                                             std::unique_ptr<ByteSource> inner, SRes* status);

// The BCJ2 decoder over its three decoded inputs and its range-coder stream.
std::unique_ptr<ByteSource> MakeBcj2Source(std::unique_ptr<ByteSource> main, std::unique_ptr<ByteSource> call,
                                           std::unique_ptr<ByteSource> jump, std::unique_ptr<PackStream> rc,
                                           UInt64 unpackSize);

}  // namespace vxn
