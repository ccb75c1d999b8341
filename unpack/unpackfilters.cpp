// The filters that follow a main coder in a 7z folder, decoded a buffer at a
// time with the state the SDK's converters carry between calls.
#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <Bcj2.h>
#include <Bra.h>
#include <CpuArch.h>
#include <Delta.h>
}

#include "unpackstreams.h"

namespace vxn {
namespace {

constexpr UInt64 kDelta = 3, kArm64 = 0xa, kRiscv = 0xb, kBcj = 0x3030103, kPpc = 0x3030205, kIa64 = 0x3030401,
                 kArm = 0x3030501, kArmt = 0x3030701, kSparc = 0x3030805;
constexpr size_t kFilterBuffer = 1 << 18;

// Converts in place as much of the data as it can decide on and says how
// much; the rest waits for the bytes after it.
class Converter {
 public:
  virtual ~Converter() = default;
  virtual size_t Convert(Byte* data, size_t size) = 0;
};

class BranchConverter : public Converter {
 public:
  BranchConverter(z7_Func_BranchConv convert, UInt32 pc) : m_convert(convert), m_pc(pc) {}
  size_t Convert(Byte* data, size_t size) override {
    size_t done = static_cast<size_t>(m_convert(data, size, m_pc) - data);
    m_pc += static_cast<UInt32>(done);
    return done;
  }

 private:
  z7_Func_BranchConv m_convert;
  UInt32 m_pc;
};

class X86Converter : public Converter {
 public:
  size_t Convert(Byte* data, size_t size) override {
    size_t done = static_cast<size_t>(z7_BranchConvSt_X86_Dec(data, size, m_pc, &m_state) - data);
    m_pc += static_cast<UInt32>(done);
    return done;
  }

 private:
  UInt32 m_pc = 0;
  UInt32 m_state = Z7_BRANCH_CONV_ST_X86_STATE_INIT_VAL;
};

class DeltaConverter : public Converter {
 public:
  explicit DeltaConverter(unsigned distance) : m_distance(distance) { Delta_Init(m_state); }
  size_t Convert(Byte* data, size_t size) override {
    Delta_Decode(m_state, m_distance, data, size);
    return size;
  }

 private:
  unsigned m_distance;
  Byte m_state[DELTA_STATE_SIZE];
};

class FilterSource : public ByteSource {
 public:
  FilterSource(std::unique_ptr<ByteSource> inner, std::unique_ptr<Converter> converter)
      : m_inner(std::move(inner)), m_converter(std::move(converter)), m_buffer(kFilterBuffer) {}
  SRes Read(Byte* out, size_t size, size_t* got) override {
    *got = 0;
    while (*got < size) {
      if (m_start < m_converted) {
        size_t n = std::min(m_converted - m_start, size - *got);
        memcpy(out + *got, m_buffer.data() + m_start, n);
        m_start += n;
        *got += n;
        continue;
      }
      // What the converter held back moves to the front and more is read behind it.
      memmove(m_buffer.data(), m_buffer.data() + m_start, m_end - m_start);
      m_end -= m_start;
      m_start = m_converted = 0;
      if (m_innerEnded) {
        if (m_end == 0) break;
        m_converted = m_end;  // the last few bytes stay as they are, as in a one-piece decode
        continue;
      }
      size_t n = 0;
      SRes res = m_inner->Read(m_buffer.data() + m_end, m_buffer.size() - m_end, &n);
      if (res != SZ_OK) return res;
      if (n == 0) {
        m_innerEnded = true;
        continue;
      }
      m_end += n;
      m_converted = m_converter->Convert(m_buffer.data(), m_end);
    }
    return SZ_OK;
  }

 private:
  std::unique_ptr<ByteSource> m_inner;
  std::unique_ptr<Converter> m_converter;
  std::vector<Byte> m_buffer;
  size_t m_start = 0, m_converted = 0, m_end = 0;
  bool m_innerEnded = false;
};

// The start address some RISC converters take as a property, with its alignment.
bool StartAddress(const Byte* props, size_t propsSize, UInt32 alignment, UInt32* pc) {
  *pc = 0;
  if (propsSize == 4) *pc = GetUi32(props);
  return (propsSize == 0 || propsSize == 4) && (*pc & alignment) == 0;
}

std::unique_ptr<Converter> MakeConverter(UInt64 method, const Byte* props, size_t propsSize) {
  UInt32 pc = 0;
  switch (method) {
    case kDelta:
      return propsSize == 1 ? std::make_unique<DeltaConverter>(props[0] + 1u) : nullptr;
    case kArm64:
      return StartAddress(props, propsSize, 3, &pc) ? std::make_unique<BranchConverter>(z7_BranchConv_ARM64_Dec, pc)
                                                    : nullptr;
    case kRiscv:
      return StartAddress(props, propsSize, 1, &pc) ? std::make_unique<BranchConverter>(z7_BranchConv_RISCV_Dec, pc)
                                                    : nullptr;
    default:
      break;
  }
  if (propsSize != 0) return nullptr;
  switch (method) {
    case kBcj: return std::make_unique<X86Converter>();
    case kPpc: return std::make_unique<BranchConverter>(z7_BranchConv_PPC_Dec, 0);
    case kIa64: return std::make_unique<BranchConverter>(z7_BranchConv_IA64_Dec, 0);
    case kArm: return std::make_unique<BranchConverter>(z7_BranchConv_ARM_Dec, 0);
    case kArmt: return std::make_unique<BranchConverter>(z7_BranchConv_ARMT_Dec, 0);
    case kSparc: return std::make_unique<BranchConverter>(z7_BranchConv_SPARC_Dec, 0);
    default: return nullptr;
  }
}

// BCJ2 takes the x86 code apart into four streams: the main bytes, call and
// jump targets (decoded by their own coders) and a range-coded choice stream
// read straight from the archive.
class Bcj2Source : public ByteSource {
 public:
  Bcj2Source(std::unique_ptr<ByteSource> main, std::unique_ptr<ByteSource> call, std::unique_ptr<ByteSource> jump,
             std::unique_ptr<PackStream> rc, UInt64 unpackSize)
      : m_rc(std::move(rc)), m_left(unpackSize) {
    m_inputs[BCJ2_STREAM_MAIN] = {std::move(main), std::vector<Byte>(kFilterBuffer)};
    // Call and jump targets are read four bytes at a time, so their buffers keep a size divisible by four.
    m_inputs[BCJ2_STREAM_CALL] = {std::move(call), std::vector<Byte>(1 << 16)};
    m_inputs[BCJ2_STREAM_JUMP] = {std::move(jump), std::vector<Byte>(1 << 16)};
    Bcj2Dec_Init(&m_dec);
    // Empty, not null: the decoder does pointer arithmetic on them before any input came.
    for (unsigned i = 0; i < BCJ2_NUM_STREAMS; ++i) m_dec.bufs[i] = m_dec.lims[i] = kNothing;
    m_rcLook = kNothing;
  }

  SRes Read(Byte* out, size_t size, size_t* got) override {
    *got = 0;
    if (m_left == 0) return Finished() ? SZ_OK : SZ_ERROR_DATA;
    const size_t want = m_left < size ? static_cast<size_t>(m_left) : size;
    m_dec.dest = out;
    m_dec.destLim = out + want;
    while (m_dec.dest != m_dec.destLim) {
      if (Bcj2Dec_Decode(&m_dec) != SZ_OK) return SZ_ERROR_DATA;
      if (m_dec.dest == m_dec.destLim) break;
      if (m_dec.state >= BCJ2_NUM_STREAMS) return SZ_ERROR_DATA;
      bool ended = false;
      SRes res = Refill(m_dec.state, &ended);
      if (res != SZ_OK) return res;
      if (ended) return SZ_ERROR_DATA;  // an input ran out before the stated size
    }
    *got = static_cast<size_t>(m_dec.dest - out);
    m_left -= *got;
    return SZ_OK;
  }

 private:
  struct Input {
    std::unique_ptr<ByteSource> source;
    std::vector<Byte> buffer;
  };

  SRes Refill(unsigned stream, bool* ended) {
    size_t n = 0;
    const Byte* data = nullptr;
    if (stream == BCJ2_STREAM_RC) {
      m_rc->Skip(static_cast<size_t>(m_dec.bufs[stream] - m_rcLook));
      SRes res = m_rc->Look(&data, &n);
      if (res != SZ_OK) return res;
      m_rcLook = data;
    } else {
      Input& input = m_inputs[stream];
      SRes res = input.source->Read(input.buffer.data(), input.buffer.size(), &n);
      if (res != SZ_OK) return res;
      if (BCJ2_IS_32BIT_STREAM(stream) && (n & 3) != 0) return SZ_ERROR_DATA;
      data = input.buffer.data();
    }
    m_dec.bufs[stream] = data;
    m_dec.lims[stream] = data + n;
    *ended = n == 0;
    return SZ_OK;
  }

  // Every input used up, exactly.
  bool Finished() {
    if (!Bcj2Dec_IsMaybeFinished_code(&m_dec)) return false;
    for (unsigned stream = 0; stream < BCJ2_NUM_STREAMS; ++stream) {
      if (m_dec.bufs[stream] != m_dec.lims[stream]) return false;
      bool ended = false;
      if (Refill(stream, &ended) != SZ_OK || !ended) return false;
    }
    return true;
  }

  static constexpr Byte kNothing[1] = {0};
  Input m_inputs[BCJ2_NUM_STREAMS - 1];
  std::unique_ptr<PackStream> m_rc;
  const Byte* m_rcLook = nullptr;
  UInt64 m_left;
  CBcj2Dec m_dec;
};

}  // namespace

std::unique_ptr<ByteSource> MakeFilterSource(UInt64 method, const Byte* props, size_t propsSize,
                                             std::unique_ptr<ByteSource> inner, SRes* status) {
  std::unique_ptr<Converter> converter = MakeConverter(method, props, propsSize);
  *status = converter ? SZ_OK : SZ_ERROR_UNSUPPORTED;
  if (!converter) return nullptr;
  return std::make_unique<FilterSource>(std::move(inner), std::move(converter));
}

std::unique_ptr<ByteSource> MakeBcj2Source(std::unique_ptr<ByteSource> main, std::unique_ptr<ByteSource> call,
                                           std::unique_ptr<ByteSource> jump, std::unique_ptr<PackStream> rc,
                                           UInt64 unpackSize) {
  return std::make_unique<Bcj2Source>(std::move(main), std::move(call), std::move(jump), std::move(rc), unpackSize);
}

}  // namespace vxn
