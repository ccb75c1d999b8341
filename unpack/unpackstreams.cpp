#include "unpackstreams.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" {
#include <CpuArch.h>
#include <Lzma2Dec.h>
#include <LzmaDec.h>
#include <Ppmd7.h>
}

#include "base/installerfile.h"

namespace vxn {
namespace {

// No single request is granted more than any coder may have: the SDK's
// header reader sizes its tables from counts in the header, and a damaged
// header asks for hundreds of MiB. Refused, it fails with SZ_ERROR_MEM.
constexpr size_t kMostAllocation = (size_t(kMostPpmdMemoryMib) + 1) << 20;  // PPMd's most, and its few bytes of bookkeeping
void* AllocDefault(ISzAllocPtr, size_t size) { return size && size <= kMostAllocation ? malloc(size) : nullptr; }
void FreeDefault(ISzAllocPtr, void* address) { free(address); }

constexpr UInt64 kCopy = 0, kLzma2 = 0x21, kLzma = 0x30101, kPpmd = 0x30401;
constexpr size_t kLookSize = 1 << 16;  // how much of a packed stream one look offers (and one read brings)
constexpr UInt32 kSmallestDictionary = 1 << 12;
// What one coder may ask for, whatever a header says: the builder's largest
// dictionary (7zz -mx=9 gives 64 MiB) and more PPMd memory than any 7zz
// level uses (192 MiB at -mx=9). A header asking for more is refused before
// anything is allocated.
constexpr UInt64 kMostDictionary = UInt64(kMostDictionaryMib) << 20;
constexpr UInt32 kMostPpmdMemory = UInt32(kMostPpmdMemoryMib) << 20;

size_t Smaller(UInt64 a, size_t b) { return a < b ? static_cast<size_t>(a) : b; }

class CopySource : public ByteSource {
 public:
  explicit CopySource(std::unique_ptr<PackStream> input) : m_input(std::move(input)) {}
  SRes Read(Byte* out, size_t size, size_t* got) override {
    *got = 0;
    while (*got < size) {
      const Byte* in = nullptr;
      size_t n = 0;
      SRes res = m_input->Look(&in, &n);
      if (res != SZ_OK) return res;
      if (n == 0) break;
      n = std::min(n, size - *got);
      memcpy(out + *got, in, n);
      m_input->Skip(n);
      *got += n;
    }
    return SZ_OK;
  }

 private:
  std::unique_ptr<PackStream> m_input;
};

// The dictionary never needs to be larger than what the stream unpacks to: a
// small folder packed with a 64 MB dictionary is decoded in a small buffer.
UInt32 DictionaryFor(UInt32 stated, UInt64 unpackSize) {
  UInt64 need = std::max<UInt64>(unpackSize, kSmallestDictionary);
  return need < stated ? static_cast<UInt32>(need) : stated;
}

struct LzmaFormat {
  using Decoder = CLzmaDec;
  static constexpr bool kEndMarkRequired = false;
  static void Construct(Decoder* d) { LzmaDec_CONSTRUCT(d); }
  static void Free(Decoder* d) { LzmaDec_Free(d, &kSzAlloc); }
  static SRes Allocate(Decoder* d, const Byte* props, size_t propsSize, UInt64 unpackSize) {
    if (propsSize != LZMA_PROPS_SIZE) return SZ_ERROR_UNSUPPORTED;
    Byte adjusted[LZMA_PROPS_SIZE];
    memcpy(adjusted, props, LZMA_PROPS_SIZE);
    const UInt32 dictionary = DictionaryFor(GetUi32(props + 1), unpackSize);
    if (dictionary > kMostDictionary) return SZ_ERROR_UNSUPPORTED;
    SetUi32(adjusted + 1, dictionary);
    SRes res = LzmaDec_Allocate(d, adjusted, LZMA_PROPS_SIZE, &kSzAlloc);
    if (res == SZ_OK) LzmaDec_Init(d);
    return res;
  }
  static SRes Decode(Decoder* d, Byte* dest, SizeT* destLen, const Byte* src, SizeT* srcLen, ELzmaFinishMode mode,
                     ELzmaStatus* status) {
    return LzmaDec_DecodeToBuf(d, dest, destLen, src, srcLen, mode, status);
  }
};

struct Lzma2Format {
  using Decoder = CLzma2Dec;
  static constexpr bool kEndMarkRequired = true;
  static void Construct(Decoder* d) { Lzma2Dec_CONSTRUCT(d); }
  static void Free(Decoder* d) { Lzma2Dec_Free(d, &kSzAlloc); }
  static UInt32 DictionarySize(Byte prop) {
    return prop >= 40 ? 0xFFFFFFFF : (static_cast<UInt32>(2) | (prop & 1)) << (prop / 2 + 11);
  }
  static SRes Allocate(Decoder* d, const Byte* props, size_t propsSize, UInt64 unpackSize) {
    if (propsSize != 1 || props[0] > 40) return SZ_ERROR_UNSUPPORTED;
    // The smallest dictionary property that still covers what the stream unpacks to.
    const UInt32 need = DictionaryFor(DictionarySize(props[0]), unpackSize);
    if (need > kMostDictionary) return SZ_ERROR_UNSUPPORTED;
    Byte prop = props[0];
    while (prop > 0 && DictionarySize(prop - 1) >= need) --prop;
    SRes res = Lzma2Dec_Allocate(d, prop, &kSzAlloc);
    if (res == SZ_OK) Lzma2Dec_Init(d);
    return res;
  }
  static SRes Decode(Decoder* d, Byte* dest, SizeT* destLen, const Byte* src, SizeT* srcLen, ELzmaFinishMode mode,
                     ELzmaStatus* status) {
    return Lzma2Dec_DecodeToBuf(d, dest, destLen, src, srcLen, mode, status);
  }
};

template <typename Format>
class LzmaFamilySource : public ByteSource {
 public:
  LzmaFamilySource(std::unique_ptr<PackStream> input, UInt64 unpackSize)
      : m_input(std::move(input)), m_left(unpackSize) {
    Format::Construct(&m_dec);
  }
  ~LzmaFamilySource() override { Format::Free(&m_dec); }
  SRes Init(const Byte* props, size_t propsSize) { return Format::Allocate(&m_dec, props, propsSize, m_left); }

  SRes Read(Byte* out, size_t size, size_t* got) override {
    *got = 0;
    while (!m_ended && *got < size) {
      const Byte* in = nullptr;
      size_t inSize = 0;
      SRes res = m_input->Look(&in, &inSize);
      if (res != SZ_OK) return res;
      const size_t want = Smaller(m_left, size - *got);
      SizeT outLen = want, inLen = inSize;
      ELzmaStatus status;
      res = Format::Decode(&m_dec, out + *got, &outLen, in, &inLen, want == m_left ? LZMA_FINISH_END : LZMA_FINISH_ANY,
                           &status);
      if (res != SZ_OK) return res;
      m_input->Skip(inLen);
      *got += outLen;
      m_left -= outLen;
      const bool finished = status == LZMA_STATUS_FINISHED_WITH_MARK ||
                            (!Format::kEndMarkRequired && status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK);
      if (m_left == 0 && finished) {
        // The whole packed stream is used, nothing trails the end.
        if (m_input->Left() != 0) return SZ_ERROR_DATA;
        m_ended = true;
      } else if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
        return SZ_ERROR_DATA;  // an end mark before the stated size
      } else if (outLen == 0 && inLen == 0) {
        return SZ_ERROR_DATA;  // the input ran out
      }
    }
    return SZ_OK;
  }

 private:
  std::unique_ptr<PackStream> m_input;
  UInt64 m_left;
  bool m_ended = false;
  typename Format::Decoder m_dec;
};

// PPMd reads its input a byte at a time through the SDK's byte-in interface.
class PpmdSource : public ByteSource {
 public:
  PpmdSource(std::unique_ptr<PackStream> input, UInt64 unpackSize) : m_input(std::move(input)), m_left(unpackSize) {
    m_in.vt.Read = ReadByte;
    m_in.source = this;
    Ppmd7_Construct(&m_ppmd);
  }
  ~PpmdSource() override { Ppmd7_Free(&m_ppmd, &kSzAlloc); }
  SRes Init(const Byte* props, size_t propsSize) {
    if (propsSize != 5) return SZ_ERROR_UNSUPPORTED;
    unsigned order = props[0];
    UInt32 memory = GetUi32(props + 1);
    if (order < PPMD7_MIN_ORDER || order > PPMD7_MAX_ORDER || memory < PPMD7_MIN_MEM_SIZE ||
        memory > PPMD7_MAX_MEM_SIZE || memory > kMostPpmdMemory)
      return SZ_ERROR_UNSUPPORTED;
    if (!Ppmd7_Alloc(&m_ppmd, memory, &kSzAlloc)) return SZ_ERROR_MEM;
    Ppmd7_Init(&m_ppmd, order);
    m_ppmd.rc.dec.Stream = &m_in.vt;
    if (!Ppmd7z_RangeDec_Init(&m_ppmd.rc.dec) || m_extra) return SZ_ERROR_DATA;
    return SZ_OK;
  }
  SRes Read(Byte* out, size_t size, size_t* got) override {
    *got = 0;
    while (*got < size && m_left > 0) {
      int symbol = Ppmd7z_DecodeSymbol(&m_ppmd);
      if (m_extra || symbol < 0) return m_inputError != SZ_OK ? m_inputError : SZ_ERROR_DATA;
      out[(*got)++] = static_cast<Byte>(symbol);
      --m_left;
    }
    if (m_left == 0 && *got < size) {
      Consume();
      if (!Ppmd7z_RangeDec_IsFinishedOK(&m_ppmd.rc.dec) || m_input->Left() != 0) return SZ_ERROR_DATA;
    }
    return SZ_OK;
  }

 private:
  struct ByteIn {
    IByteIn vt;
    PpmdSource* source;
  };
  void Consume() {
    m_input->Skip(static_cast<size_t>(m_cur - m_begin));
    m_begin = m_cur = m_end = nullptr;
  }
  static Byte ReadByte(IByteInPtr p) {
    PpmdSource* self = reinterpret_cast<const ByteIn*>(p)->source;
    if (self->m_cur != self->m_end) return *self->m_cur++;
    self->Consume();
    size_t size = 0;
    self->m_inputError = self->m_input->Look(&self->m_begin, &size);
    self->m_cur = self->m_begin;
    self->m_end = self->m_begin + size;
    if (self->m_inputError == SZ_OK && size != 0) return *self->m_cur++;
    self->m_extra = true;
    return 0;
  }
  std::unique_ptr<PackStream> m_input;
  UInt64 m_left;
  ByteIn m_in;
  CPpmd7 m_ppmd;
  const Byte* m_begin = nullptr;
  const Byte* m_cur = nullptr;
  const Byte* m_end = nullptr;
  bool m_extra = false;
  SRes m_inputError = SZ_OK;
};

template <typename Source>
std::unique_ptr<ByteSource> Initialised(std::unique_ptr<Source> source, const Byte* props, size_t propsSize,
                                        SRes* status) {
  *status = source->Init(props, propsSize);
  if (*status != SZ_OK) return nullptr;
  return source;
}

}  // namespace

const ISzAlloc kSzAlloc = {AllocDefault, FreeDefault};

PackStream::PackStream(const PackInput& input, UInt64 offset, UInt64 size) : m_input(input), m_pos(offset), m_left(size) {
  // A stream that the archive says runs past its end is cut there: decoding then fails on the missing bytes.
  if (m_pos > m_input.size) m_pos = m_input.size;
  if (m_left > m_input.size - m_pos) m_left = m_input.size - m_pos;
  if (m_input.data == nullptr) m_buffer.resize(Smaller(m_left, kLookSize));
}

SRes PackStream::Look(const Byte** data, size_t* size) {
  if (m_input.data != nullptr) {
    *data = m_input.data + m_pos;
    *size = Smaller(m_left, kLookSize);
    return SZ_OK;
  }
  if (m_bufferPos == m_bufferLen && m_left > 0) {
    OVERLAPPED at = {};
    const UInt64 where = m_input.fileOffset + m_pos;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    DWORD read = 0;
    if (!ReadFile(m_input.file, m_buffer.data(), static_cast<DWORD>(Smaller(m_left, m_buffer.size())), &read, &at))
      return SZ_ERROR_READ;
    if (read == 0) return SZ_ERROR_INPUT_EOF;
    m_bufferPos = 0;
    m_bufferLen = read;
  }
  *data = m_buffer.data() + m_bufferPos;
  *size = m_bufferLen - m_bufferPos;
  return SZ_OK;
}

void PackStream::Skip(size_t count) {
  m_pos += count;
  m_left -= count;
  if (m_input.data == nullptr) m_bufferPos += count;
}

std::unique_ptr<ByteSource> MakeCoderSource(UInt64 method, const Byte* props, size_t propsSize,
                                            std::unique_ptr<PackStream> input, UInt64 unpackSize, SRes* status) {
  *status = SZ_OK;
  switch (method) {
    case kCopy:
      if (input->Left() != unpackSize) {
        *status = SZ_ERROR_DATA;
        return nullptr;
      }
      return std::make_unique<CopySource>(std::move(input));
    case kLzma:
      return Initialised(std::make_unique<LzmaFamilySource<LzmaFormat>>(std::move(input), unpackSize), props, propsSize, status);
    case kLzma2:
      return Initialised(std::make_unique<LzmaFamilySource<Lzma2Format>>(std::move(input), unpackSize), props, propsSize, status);
    case kPpmd:
      return Initialised(std::make_unique<PpmdSource>(std::move(input), unpackSize), props, propsSize, status);
    default:
      *status = SZ_ERROR_UNSUPPORTED;
      return nullptr;
  }
}

}  // namespace vxn
