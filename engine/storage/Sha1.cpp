// SHA-1 stream: bytes are gathered into W most significant byte first and compressed every
// 64 bytes.
#include "engine/storage/Sha1.h"

#include <algorithm>
#include <bit>

namespace {

constexpr std::array<uint32_t, Sha1WordCount> InitialH = {0x67452301, 0xEFCDAB89, 0x98BADCFE,
                                                          0x10325476, 0xC3D2E1F0};
constexpr int LengthFieldSize = 8;
constexpr int LengthFieldOffset = Sha1BlockSize - LengthFieldSize;  // 56

void StoreLittleEndian32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

int32_t TSha1Stream::Read(void* /*buffer*/, int32_t /*count*/) {
  return 0;
}

int32_t TSha1Stream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  for (int32_t i = 0; i < count; ++i) AddByte(bytes[i]);
  return count;
}

int64_t TSha1Stream::Seek(int64_t /*offset*/, SeekOrigin /*origin*/) {
  return static_cast<int64_t>(BlockCount * Sha1BlockSize) + ByteIndex;
}

void TSha1Stream::AddByte(uint8_t b) {
  W[ByteIndex / 4] |= uint32_t{b} << (24 - 8 * (ByteIndex % 4));
  if (++ByteIndex == Sha1BlockSize) Transform();
}

std::string TSha1Stream::DigestString() {
  TSha1Digest digest;
  FinalDigest(digest);
  return std::string(digest.begin(), digest.end());
}

void TSha1Stream::Reset() {
  BlockCount = 0;
  ByteIndex = 0;
  W.fill(0);
  H = InitialH;
}

void TSha1Stream::Transform() {
  ++BlockCount;
  for (int t = 16; t < 80; ++t) W[t] = std::rotl(W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16], 1);

  uint32_t a = H[0], b = H[1], c = H[2], d = H[3], e = H[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f;
    uint32_t k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const uint32_t temp = std::rotl(a, 5) + f + e + W[t] + k;
    e = d;
    d = c;
    c = std::rotl(b, 30);
    b = a;
    a = temp;
  }
  H[0] += a;
  H[1] += b;
  H[2] += c;
  H[3] += d;
  H[4] += e;
  ByteIndex = 0;
  W.fill(0);
}

int32_t TSha1Stream::WriteReversed(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  for (int32_t i = count - 1; i >= 0; --i) AddByte(bytes[i]);
  return count;
}

void TSha1Stream::FinalDigest(TSha1Digest& digest) {
  const uint64_t bitLength = BlockCount * 512 + static_cast<uint64_t>(ByteIndex) * 8;
  AddByte(0x80);
  while (ByteIndex != LengthFieldOffset) AddByte(0);
  // Most significant byte first: the little-endian image written backwards.
  std::array<uint8_t, LengthFieldSize> length;
  for (int i = 0; i < LengthFieldSize; ++i) length[i] = static_cast<uint8_t>(bitLength >> (8 * i));
  WriteReversed(length.data(), LengthFieldSize);

  for (int i = 0; i < Sha1WordCount; ++i) StoreLittleEndian32(digest.data() + 4 * i, H[i]);
  Reset();
}

void Sha1Digest(std::string_view text, TSha1Digest& digest) {
  digest.fill(0);
  if (text.empty()) return;
  TSha1Stream stream;
  constexpr size_t chunk = 1 << 30;  // Write counts are 32-bit
  for (size_t at = 0; at < text.size(); at += chunk) {
    const size_t n = std::min(chunk, text.size() - at);
    stream.Write(text.data() + at, static_cast<int32_t>(n));
  }
  stream.FinalDigest(digest);
}

uint32_t Sha1DigestWord(const TSha1Digest& digest, int i) {
  const uint8_t* p = digest.data() + 4 * i;
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
