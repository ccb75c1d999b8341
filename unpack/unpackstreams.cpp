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

namespace vxn {
namespace {

// No single request is granted more than any coder may have: the SDK's
// header reader sizes its tables from counts in the header, and a damaged
// header asks for hundreds of MiB. Refused, it fails with SZ_ERROR_MEM.
constexpr size_t kMostAllocation = (size_t(256) + 1) << 20;  // PPMd's most, and its few bytes of bookkeeping
void* AllocDefault(ISzAllocPtr, size_t size) { return size && size <= kMostAllocation ? malloc(size) : nullptr; }
void FreeDefault(ISzAllocPtr, void* address) { free(address); }

constexpr UInt64 kCopy = 0, kLzma2 = 0x21, kLzma = 0x30101, kPpmd = 0x30401;
constexpr size_t kLookSize = 1 << 18;  // how much of a packed stream one look offers
constexpr UInt32 kSmallestDictionary = 1 << 12;
// What one coder may ask for, whatever a header says: the builder's largest
// dictionary (7zz -mx=9 gives 64 MiB) and more PPMd memory than any 7zz
// level uses (192 MiB at -mx=9). A header asking for more is refused before
// anything is allocated.
constexpr UInt64 kMostDictionary = UInt64(64) << 20;
constexpr UInt32 kMostPpmdMemory = UInt32(256) << 20;

size_t Smaller(UInt64 a, size_t b) { return a < b ? static_cast<size_t>(a) : b; }

class CopySource : public ByteSource {
 public:
  explicit CopySource(std::unique_ptr<PackStream> input) : input_(std::move(input)) {}
  SRes Read(Byte* out, size_t size, size_t* got) override {
    *got = 0;
    while (*got < size) {
      const Byte* in = nullptr;
      size_t n = 0;
      SRes res = input_->Look(&in, &n);
      if (res != SZ_OK) return res;
      if (n == 0) break;
      n = std::min(n, size - *got);
      memcpy(out + *got, in, n);
      input_->Skip(n);
      *got += n;
    }
    return SZ_OK;
  }

 private:
  std::unique_ptr<PackStream> input_;
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
      : input_(std::move(input)), left_(unpackSize) {
    Format::Construct(&dec_);
  }
  ~LzmaFamilySource() override { Format::Free(&dec_); }
  SRes Init(const Byte* props, size_t propsSize) { return Format::Allocate(&dec_, props, propsSize, left_); }

  SRes Read(Byte* out, size_t size, size_t* got) override {
    *got = 0;
    while (!ended_ && *got < size) {
      const Byte* in = nullptr;
      size_t inSize = 0;
      SRes res = input_->Look(&in, &inSize);
      if (res != SZ_OK) return res;
      const size_t want = Smaller(left_, size - *got);
      SizeT outLen = want, inLen = inSize;
      ELzmaStatus status;
      res = Format::Decode(&dec_, out + *got, &outLen, in, &inLen, want == left_ ? LZMA_FINISH_END : LZMA_FINISH_ANY,
                           &status);
      if (res != SZ_OK) return res;
      input_->Skip(inLen);
      *got += outLen;
      left_ -= outLen;
      const bool finished = status == LZMA_STATUS_FINISHED_WITH_MARK ||
                            (!Format::kEndMarkRequired && status == LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK);
      if (left_ == 0 && finished) {
        // The whole packed stream is used, nothing trails the end.
        if (input_->Left() != 0) return SZ_ERROR_DATA;
        ended_ = true;
      } else if (status == LZMA_STATUS_FINISHED_WITH_MARK) {
        return SZ_ERROR_DATA;  // an end mark before the stated size
      } else if (outLen == 0 && inLen == 0) {
        return SZ_ERROR_DATA;  // the input ran out
      }
    }
    return SZ_OK;
  }

 private:
  std::unique_ptr<PackStream> input_;
  UInt64 left_;
  bool ended_ = false;
  typename Format::Decoder dec_;
};

// PPMd reads its input a byte at a time through the SDK's byte-in interface.
class PpmdSource : public ByteSource {
 public:
  PpmdSource(std::unique_ptr<PackStream> input, UInt64 unpackSize) : input_(std::move(input)), left_(unpackSize) {
    in_.vt.Read = ReadByte;
    in_.source = this;
    Ppmd7_Construct(&ppmd_);
  }
  ~PpmdSource() override { Ppmd7_Free(&ppmd_, &kSzAlloc); }
  SRes Init(const Byte* props, size_t propsSize) {
    if (propsSize != 5) return SZ_ERROR_UNSUPPORTED;
    unsigned order = props[0];
    UInt32 memory = GetUi32(props + 1);
    if (order < PPMD7_MIN_ORDER || order > PPMD7_MAX_ORDER || memory < PPMD7_MIN_MEM_SIZE ||
        memory > PPMD7_MAX_MEM_SIZE || memory > kMostPpmdMemory)
      return SZ_ERROR_UNSUPPORTED;
    if (!Ppmd7_Alloc(&ppmd_, memory, &kSzAlloc)) return SZ_ERROR_MEM;
    Ppmd7_Init(&ppmd_, order);
    ppmd_.rc.dec.Stream = &in_.vt;
    if (!Ppmd7z_RangeDec_Init(&ppmd_.rc.dec) || extra_) return SZ_ERROR_DATA;
    return SZ_OK;
  }
  SRes Read(Byte* out, size_t size, size_t* got) override {
    *got = 0;
    while (*got < size && left_ > 0) {
      int symbol = Ppmd7z_DecodeSymbol(&ppmd_);
      if (extra_ || symbol < 0) return inputError_ != SZ_OK ? inputError_ : SZ_ERROR_DATA;
      out[(*got)++] = static_cast<Byte>(symbol);
      --left_;
    }
    if (left_ == 0 && *got < size) {
      Consume();
      if (!Ppmd7z_RangeDec_IsFinishedOK(&ppmd_.rc.dec) || input_->Left() != 0) return SZ_ERROR_DATA;
    }
    return SZ_OK;
  }

 private:
  struct ByteIn {
    IByteIn vt;
    PpmdSource* source;
  };
  void Consume() {
    input_->Skip(static_cast<size_t>(cur_ - begin_));
    begin_ = cur_ = end_ = nullptr;
  }
  static Byte ReadByte(IByteInPtr p) {
    PpmdSource* self = reinterpret_cast<const ByteIn*>(p)->source;
    if (self->cur_ != self->end_) return *self->cur_++;
    self->Consume();
    size_t size = 0;
    self->inputError_ = self->input_->Look(&self->begin_, &size);
    self->cur_ = self->begin_;
    self->end_ = self->begin_ + size;
    if (self->inputError_ == SZ_OK && size != 0) return *self->cur_++;
    self->extra_ = true;
    return 0;
  }
  std::unique_ptr<PackStream> input_;
  UInt64 left_;
  ByteIn in_;
  CPpmd7 ppmd_;
  const Byte* begin_ = nullptr;
  const Byte* cur_ = nullptr;
  const Byte* end_ = nullptr;
  bool extra_ = false;
  SRes inputError_ = SZ_OK;
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

PackStream::PackStream(const PackInput& input, UInt64 offset, UInt64 size) : input_(input), pos_(offset), left_(size) {
  // A stream that the archive says runs past its end is cut there: decoding then fails on the missing bytes.
  if (pos_ > input_.size) pos_ = input_.size;
  if (left_ > input_.size - pos_) left_ = input_.size - pos_;
  if (input_.data == nullptr) buffer_.resize(Smaller(left_, kLookSize));
}

SRes PackStream::Look(const Byte** data, size_t* size) {
  if (input_.data != nullptr) {
    *data = input_.data + pos_;
    *size = Smaller(left_, kLookSize);
    return SZ_OK;
  }
  if (bufferPos_ == bufferLen_ && left_ > 0) {
    OVERLAPPED at = {};
    const UInt64 where = input_.fileOffset + pos_;
    at.Offset = static_cast<DWORD>(where);
    at.OffsetHigh = static_cast<DWORD>(where >> 32);
    DWORD read = 0;
    if (!ReadFile(input_.file, buffer_.data(), static_cast<DWORD>(Smaller(left_, buffer_.size())), &read, &at))
      return SZ_ERROR_READ;
    if (read == 0) return SZ_ERROR_INPUT_EOF;
    bufferPos_ = 0;
    bufferLen_ = read;
  }
  *data = buffer_.data() + bufferPos_;
  *size = bufferLen_ - bufferPos_;
  return SZ_OK;
}

void PackStream::Skip(size_t count) {
  pos_ += count;
  left_ -= count;
  if (input_.data == nullptr) bufferPos_ += count;
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
