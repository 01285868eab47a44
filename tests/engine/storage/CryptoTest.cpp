// SHA-1 stream and digest helper, CRC-32 and the XOR cipher: published answers, the stored
// digest word order, padding boundaries and the table-id stride.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "CryptoTestHex.h"
#include "engine/storage/Crc32.h"
#include "engine/storage/Sha1.h"
#include "engine/storage/XorCipher.h"

using crypto_test::Hex;
using crypto_test::ToHex;

namespace {

// The stored form of a digest given as the usual SHA-1 hex string: each 4-byte group reversed.
std::string StoredHex(std::string_view standardHex) {
  auto bytes = Hex(standardHex);
  for (size_t i = 0; i < bytes.size(); i += 4)
    std::reverse(bytes.begin() + i, bytes.begin() + i + 4);
  return ToHex(bytes);
}

std::string StreamDigestHex(const std::string& message) {
  TSha1Stream stream;
  stream.Write(message.data(), static_cast<int32_t>(message.size()));
  TSha1Digest digest;
  stream.FinalDigest(digest);
  return ToHex(digest);
}

// The first n bytes of a sentence repeated; expected digests from sha1sum.
std::string Sentence(size_t n) {
  const std::string s =
      "The quick brown fox jumps over the lazy dog 0123456789abcdefghijklmnopqrstuvwxyz";
  std::string out;
  while (out.size() < n) out += s;
  return out.substr(0, n);
}

struct Sha1Case {
  std::string Message;
  const char* Expected;  // the usual SHA-1 hex string
};

class Sha1KnownAnswer : public testing::TestWithParam<Sha1Case> {};

TEST_P(Sha1KnownAnswer, StreamStoresWordsLittleEndian) {
  EXPECT_EQ(StreamDigestHex(GetParam().Message), StoredHex(GetParam().Expected));
}

TEST_P(Sha1KnownAnswer, HelperAgreesWithStreamExceptForEmptyText) {
  TSha1Digest digest;
  Sha1Digest(GetParam().Message, digest);
  const std::string expected =
      GetParam().Message.empty() ? std::string(40, '0') : StoredHex(GetParam().Expected);
  EXPECT_EQ(ToHex(digest), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fips180, Sha1KnownAnswer,
    testing::Values(Sha1Case{"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
                    Sha1Case{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                             "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
                    // Around the padding boundary: 55 fits one padding block, 56 to 63 need two.
                    Sha1Case{Sentence(0), "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
                    Sha1Case{Sentence(1), "c2c53d66948214258a26ca9ca845d7ac0c17f8e7"},
                    Sha1Case{Sentence(55), "902279157f6bd373ca57ea5e09913e96c90b1199"},
                    Sha1Case{Sentence(56), "51352409f09631f7b39a4beda24e40b2fee6ce94"},
                    Sha1Case{Sentence(57), "c6f8fa8c04293715496cc6366c589f2ca107c72e"},
                    Sha1Case{Sentence(63), "8398ddc6d8843eeb74a823e489290d66122569ff"},
                    Sha1Case{Sentence(64), "a771cbeef6dff28a98ce581dfdb64d98d401e98c"},
                    Sha1Case{Sentence(65), "7cad670fb6cae44706d6743c1a41d2bdac24043e"},
                    Sha1Case{Sentence(119), "3aa9207da22ac5a02c543f9f5bad03fd1a32ddb3"},
                    Sha1Case{Sentence(120), "b6c13894466be6a506d8ad034a7d3ad520281eec"},
                    Sha1Case{Sentence(128), "cdc63a1f0bd14c0c04aefe66ab7f71056a6f9c87"},
                    Sha1Case{Sentence(1000), "f5edc06f2060722f3c4c8a295d4bbeb825aff5fc"}));

TEST(Sha1Stream, StoredDigestOfAbcReadsAsH0ToH4) {
  TSha1Digest digest;
  Sha1Digest("abc", digest);
  EXPECT_EQ(ToHex(digest), "363E99A96A81064771253EBA6CC250789DD8D09C");
  const uint32_t words[] = {0xA9993E36, 0x4706816A, 0xBA3E2571, 0x7850C26C, 0x9CD0D89D};
  for (int i = 0; i < Sha1WordCount; ++i) EXPECT_EQ(Sha1DigestWord(digest, i), words[i]) << i;
}

class Sha1MillionA : public testing::TestWithParam<int> {};

TEST_P(Sha1MillionA, ChunkSizeDoesNotMatter) {
  const int chunk = GetParam();
  const std::string block(chunk, 'a');
  TSha1Stream stream;
  int left = 1000000;
  while (left > 0) {
    const int n = std::min(left, chunk);
    EXPECT_EQ(stream.Write(block.data(), n), n);
    left -= n;
  }
  TSha1Digest digest;
  stream.FinalDigest(digest);
  EXPECT_EQ(ToHex(digest), StoredHex("34aa973cd4c4daa4f61eeb2bdbad27316534016f"));
}

INSTANTIATE_TEST_SUITE_P(Chunks, Sha1MillionA, testing::Values(1, 7, 55, 64, 1000, 65536));

TEST(Sha1Stream, FinalDigestResetsForTheNextMessage) {
  TSha1Stream stream;
  stream.Write("abc", 3);
  const std::string first = stream.DigestString();
  stream.Write("abc", 3);
  const std::string second = stream.DigestString();
  EXPECT_EQ(first, second);
  EXPECT_EQ(ToHex(first), StoredHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
  EXPECT_EQ(stream.BlockCount, 0u);
  EXPECT_EQ(stream.ByteIndex, 0);
}

TEST(Sha1Stream, RestartDiscardsGatheredBytes) {
  TSha1Stream stream;
  const std::string junk = Sentence(100);
  stream.Write(junk.data(), static_cast<int32_t>(junk.size()));
  stream.Restart();
  stream.Seek(0, TSha1Stream::SeekOrigin::Beginning);
  stream.Write("abc", 3);
  EXPECT_EQ(ToHex(stream.DigestString()), StoredHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

TEST(Sha1Stream, NothingWrittenGivesDigestOfEmptyMessage) {
  TSha1Stream stream;
  EXPECT_EQ(stream.Write("x", 0), 0);
  EXPECT_EQ(stream.Write("x", -5), 0);
  EXPECT_EQ(ToHex(stream.DigestString()), StoredHex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
}

TEST(Sha1Stream, ReadAndSeekMoveNothing) {
  TSha1Stream stream;
  stream.Write("ab", 2);
  char buffer[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(stream.Read(buffer, 4), 0);
  EXPECT_EQ(buffer[0], 'x');
  stream.Seek(0, TSha1Stream::SeekOrigin::Beginning);
  stream.Write("c", 1);
  EXPECT_EQ(ToHex(stream.DigestString()), StoredHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

TEST(Sha1Stream, WriteReversedAddsLastByteFirst) {
  TSha1Stream stream;
  EXPECT_EQ(stream.WriteReversed("cba", 3), 3);
  EXPECT_EQ(ToHex(stream.DigestString()), StoredHex("a9993e364706816aba3e25717850c26c9cd0d89d"));
}

TEST(Sha1Stream, ScheduleWordsAreZeroWhenABlockStarts) {
  TSha1Stream stream;
  const std::string block = Sentence(64);
  stream.Write(block.data(), 64);
  EXPECT_EQ(stream.BlockCount, 1u);
  EXPECT_EQ(stream.ByteIndex, 0);
  EXPECT_TRUE(std::all_of(stream.W.begin(), stream.W.end(), [](uint32_t w) { return w == 0; }));
}

struct CrcCase {
  std::vector<uint8_t> Data;
  int Count;
  uint32_t Expected;  // from zlib's crc32
};

class Crc32KnownAnswer : public testing::TestWithParam<CrcCase> {};

TEST_P(Crc32KnownAnswer, Matches) {
  const auto& c = GetParam();
  EXPECT_EQ(Crc32(c.Data.data(), c.Count), c.Expected);
}

std::vector<uint8_t> Bytes(std::string_view s) {
  return {s.begin(), s.end()};
}

std::vector<uint8_t> TwoRuns() {
  std::vector<uint8_t> v;
  for (int r = 0; r < 2; ++r)
    for (int i = 0; i < 256; ++i) v.push_back(static_cast<uint8_t>(i));
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Ieee, Crc32KnownAnswer,
    testing::Values(CrcCase{Bytes("123456789"), 9, 0xCBF43926},
                    CrcCase{Bytes("123456789"), 0, 0},   // no bytes
                    CrcCase{Bytes("123456789"), -1, 0},  // negative count
                    CrcCase{{0x00}, 1, 0xD202EF8D},
                    CrcCase{std::vector<uint8_t>(510, 0xFF), 510, 0x58B9DFAA},  // a record's span
                    CrcCase{TwoRuns(), 512, 0x1C613576},
                    CrcCase{Bytes("The quick brown fox jumps over the lazy dog "
                                  "0123456789abcdefghijklmnopqrstuvwxyz"),
                            80, 0x08AA269A}));

TEST(Crc32, CountLimitsTheBytesRead) {
  const auto data = Bytes("123456789 and more");
  EXPECT_EQ(Crc32(data.data(), 9), 0xCBF43926u);
}

TEST(Crc32, NullDataWithNoBytesIsZero) {
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
}

// The cipher as written down: index stepping by the stride modulo the key length.
std::vector<uint8_t> ReferenceXor(const std::vector<uint8_t>& source,
                                  const std::vector<uint8_t>& key, uint32_t tableId) {
  std::vector<uint8_t> out(source.size());
  const size_t stride = (tableId & 0x64) + 1;
  size_t d = 0;
  for (size_t i = 0; i < source.size(); ++i) {
    out[i] = source[i] ^ key[d];
    d = (d + stride) % key.size();
  }
  return out;
}

const std::vector<uint8_t> BuiltInKey(BuiltInXorKey.begin(), BuiltInXorKey.end());

struct StrideCase {
  uint32_t TableId;
  uint32_t Stride;
};

class XorStrideTable : public testing::TestWithParam<StrideCase> {};

TEST_P(XorStrideTable, StrideFromBits2_5_6) {
  EXPECT_EQ(XorStride(GetParam().TableId), GetParam().Stride);
}

INSTANTIATE_TEST_SUITE_P(TableIds, XorStrideTable,
                         testing::Values(StrideCase{0, 1}, StrideCase{1, 1}, StrideCase{2, 1},
                                         StrideCase{3, 1}, StrideCase{4, 5}, StrideCase{32, 33},
                                         StrideCase{36, 37}, StrideCase{64, 65}, StrideCase{68, 69},
                                         StrideCase{96, 97}, StrideCase{100, 101},
                                         StrideCase{1024, 1}, StrideCase{1025, 1},
                                         StrideCase{2047, 101}));

TEST(XorCipher, BuiltInKeyIsTheFixedText) {
  EXPECT_EQ(BuiltInXorKey.size(), 71u);
  EXPECT_EQ(BuiltInXorKey.front(), 'R');
  EXPECT_EQ(BuiltInXorKey.back(), 'g');
}

TEST(XorCipher, Table100WalksTheKeyBy101) {
  const std::vector<uint8_t> zeros(6, 0);
  std::vector<uint8_t> out(6);
  XorCipher(zeros.data(), out.data(), BuiltInKey.data(), 100, BuiltInKey.size(), zeros.size());
  const size_t walk[] = {0, 30, 60, 19, 49, 8};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(out[i], BuiltInKey[walk[i]]) << i;
}

struct XorCase {
  uint32_t TableId;
  size_t KeyLength;  // a prefix of the built-in key
  size_t Count;
};

class XorCipherCases : public testing::TestWithParam<XorCase> {};

TEST_P(XorCipherCases, MatchesReferenceAndUndoesItselfInPlace) {
  const auto& c = GetParam();
  const std::vector<uint8_t> key(BuiltInKey.begin(), BuiltInKey.begin() + c.KeyLength);
  const auto plain = crypto_test::Pattern(c.Count, c.TableId + 7);
  std::vector<uint8_t> cipher(c.Count);
  XorCipher(plain.data(), cipher.data(), key.data(), c.TableId, key.size(), c.Count);
  EXPECT_EQ(cipher, ReferenceXor(plain, key, c.TableId));

  auto buffer = cipher;
  XorCipher(buffer.data(), buffer.data(), key.data(), c.TableId, key.size(), c.Count);
  EXPECT_EQ(buffer, plain);
}

INSTANTIATE_TEST_SUITE_P(Strides, XorCipherCases,
                         testing::Values(XorCase{0, 71, 255}, XorCase{4, 71, 4096},
                                         XorCase{100, 71, 4096}, XorCase{1025, 71, 4096},
                                         XorCase{37, 71, 1},
                                         // keys shorter than the stride
                                         XorCase{100, 1, 300}, XorCase{100, 3, 300},
                                         XorCase{64, 65, 500}, XorCase{68, 69, 500},
                                         XorCase{4, 5, 64}, XorCase{0, 71, 0}));

TEST(XorCipher, TableIdChangesTheCipherText) {
  const auto plain = crypto_test::Pattern(4096);
  std::vector<uint8_t> asTable4(4096), backAsTable1(4096);
  XorCipher(plain.data(), asTable4.data(), BuiltInKey.data(), 4, BuiltInKey.size(), 4096);
  XorCipher(asTable4.data(), backAsTable1.data(), BuiltInKey.data(), 1, BuiltInKey.size(), 4096);
  EXPECT_NE(backAsTable1, plain);
}

TEST(XorCipher, KeyIndexRestartsOnEveryCall) {
  const auto plain = crypto_test::Pattern(100);
  std::vector<uint8_t> whole(100), halves(100);
  XorCipher(plain.data(), whole.data(), BuiltInKey.data(), 0, BuiltInKey.size(), 100);
  XorCipher(plain.data(), halves.data(), BuiltInKey.data(), 0, BuiltInKey.size(), 50);
  XorCipher(plain.data() + 50, halves.data() + 50, BuiltInKey.data(), 0, BuiltInKey.size(), 50);
  EXPECT_TRUE(std::equal(whole.begin(), whole.begin() + 50, halves.begin()));
  EXPECT_EQ(halves[50], plain[50] ^ BuiltInKey[0]);
}

TEST(XorCipher, WithoutKeyBytesCopies) {
  const auto plain = crypto_test::Pattern(40);
  std::vector<uint8_t> out(40, 0);
  XorCipher(plain.data(), out.data(), nullptr, 4, 0, out.size());
  EXPECT_EQ(out, plain);
}

}  // namespace
