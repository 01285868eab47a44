// Page enciphering of the file object: cipher choice by page flags, key setting and its
// errors, and the refused Blowfish key that must not keep an earlier schedule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CryptoTestHex.h"
#include "engine/storage/PageCrypt.h"
#include "engine/storage/VorErrors.h"
#include "engine/storage/XorCipher.h"

namespace {

constexpr size_t PageSize = 4096;

bool SameState(const TBlowfishState& a, const TBlowfishState& b) {
  return a.IV == b.IV && a.Register == b.Register && a.SBoxes == b.SBoxes && a.PArray == b.PArray;
}

// A cipher set up as an opened database has it: built-in XOR key and a master key.
TPageCrypt MakeCrypt(const std::string& masterKey = "Master key") {
  TPageCrypt crypt;
  crypt.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()), false);
  crypt.SetBlowKeyBuf(masterKey.data(), static_cast<int>(masterKey.size()));
  return crypt;
}

std::vector<uint8_t> Encipher(TPageCrypt& crypt, const std::vector<uint8_t>& page, uint32_t tableId,
                              uint32_t flags) {
  std::vector<uint8_t> out(page.size());
  crypt.CryptBytes(true, page.data(), page.size(), tableId, flags, out.data());
  return out;
}

std::vector<uint8_t> Decipher(TPageCrypt& crypt, const std::vector<uint8_t>& page, uint32_t tableId,
                              uint32_t flags) {
  std::vector<uint8_t> out(page.size());
  crypt.CryptBytes(false, page.data(), page.size(), tableId, flags, out.data());
  return out;
}

struct FlagCase {
  uint32_t Flags;
  bool Enciphers;
};

class PageCryptFlags : public testing::TestWithParam<FlagCase> {};

TEST_P(PageCryptFlags, RoundTripsInPlaceAndAlike) {
  const auto [flags, enciphers] = GetParam();
  TPageCrypt crypt = MakeCrypt();
  const auto page = crypto_test::Pattern(PageSize);
  EXPECT_EQ(IsCryptFlags(flags), enciphers);

  const auto cipher = Encipher(crypt, page, 7, flags);
  EXPECT_EQ(cipher != page, enciphers);
  EXPECT_EQ(Encipher(crypt, page, 7, flags), cipher) << "every page starts afresh";
  EXPECT_EQ(crypt.BlowfishState().Register, crypt.BlowfishState().IV);
  EXPECT_EQ(Decipher(crypt, cipher, 7, flags), page);

  auto buffer = page;
  crypt.CryptBytes(true, buffer.data(), buffer.size(), 7, flags, buffer.data());
  EXPECT_EQ(buffer, cipher);
  crypt.CryptBytes(false, buffer.data(), buffer.size(), 7, flags, buffer.data());
  EXPECT_EQ(buffer, page);
}

INSTANTIATE_TEST_SUITE_P(Flags, PageCryptFlags,
                         testing::Values(FlagCase{0, false}, FlagCase{1, false}, FlagCase{2, true},
                                         FlagCase{3, true}, FlagCase{4, true}, FlagCase{5, true},
                                         FlagCase{7, true}));

TEST(PageCrypt, XorWinsOverBlowfish) {
  TPageCrypt crypt = MakeCrypt();
  const auto page = crypto_test::Pattern(PageSize);
  EXPECT_EQ(Encipher(crypt, page, 4, 7), Encipher(crypt, page, 4, 3));
  EXPECT_NE(Encipher(crypt, page, 4, 7), Encipher(crypt, page, 4, 5));
}

TEST(PageCrypt, XorPagesAreStridedByTableId) {
  TPageCrypt crypt = MakeCrypt();
  const auto page = crypto_test::Pattern(PageSize);
  const auto cipher = Encipher(crypt, page, 4, 3);
  EXPECT_NE(Decipher(crypt, cipher, 1, 3), page);  // stride 1 instead of 5
  EXPECT_EQ(Decipher(crypt, cipher, 4, 3), page);
  // Tables whose bits 2, 5 and 6 agree share the stride.
  EXPECT_EQ(Encipher(crypt, page, 1024, 3), Encipher(crypt, page, 1, 3));
}

TEST(PageCrypt, BlowfishPagesDependOnTheMasterKeyOnly) {
  TPageCrypt crypt = MakeCrypt("one key");
  TPageCrypt other = MakeCrypt("another key");
  const auto page = crypto_test::Pattern(PageSize);
  EXPECT_EQ(Encipher(crypt, page, 4, 5), Encipher(crypt, page, 9, 5));
  EXPECT_NE(Encipher(crypt, page, 4, 5), Encipher(other, page, 4, 5));
  EXPECT_NE(Decipher(other, Encipher(crypt, page, 4, 5), 4, 5), page);
}

TEST(PageCrypt, BlowKeyCanChangeWhileOpenAndSurvivesClearKeys) {
  TPageCrypt crypt = MakeCrypt("first");
  const auto page = crypto_test::Pattern(PageSize);
  const std::string second = "second";
  crypt.SetBlowKeyBuf(second.data(), static_cast<int>(second.size()));
  const auto cipher = Encipher(crypt, page, 4, 5);
  TPageCrypt keyedOnce = MakeCrypt("second");
  EXPECT_EQ(cipher, Encipher(keyedOnce, page, 4, 5));

  crypt.ClearKeys();
  EXPECT_FALSE(crypt.HasXORKey());
  EXPECT_TRUE(crypt.BlowfishKey().empty());
  EXPECT_EQ(Encipher(crypt, page, 4, 5), cipher);
}

TEST(PageCrypt, XorKeyIsCopied) {
  std::string key = "abc";
  TPageCrypt crypt;
  EXPECT_FALSE(crypt.HasXORKey());
  crypt.SetXORKeyBuf(key.data(), 3, false);
  key = "xyz";
  EXPECT_TRUE(crypt.HasXORKey());
  EXPECT_EQ(std::string(crypt.XORKey().begin(), crypt.XORKey().end()), "abc");
  crypt.SetXORKeyBuf("", 0, false);
  EXPECT_FALSE(crypt.HasXORKey()) << "an empty key is no key";
}

struct KeyErrorCase {
  bool Xor;
  int Length;
  bool Open;
  const char* Message;
};

class PageCryptKeyErrors : public testing::TestWithParam<KeyErrorCase> {};

TEST_P(PageCryptKeyErrors, Raise8581) {
  const auto& c = GetParam();
  TPageCrypt crypt = MakeCrypt();
  const std::string key = "key";
  try {
    if (c.Xor) {
      crypt.SetXORKeyBuf(key.data(), c.Length, c.Open);
    } else {
      crypt.SetBlowKeyBuf(key.data(), c.Length);
    }
    FAIL() << "no error";
  } catch (const EVorDatabaseError& e) {
    EXPECT_EQ(e.ErrorCode, 8581);
    EXPECT_NE(e.Message().find(c.Message), std::string::npos) << e.Message();
  }
  // The earlier key stays.
  EXPECT_EQ(crypt.XORKey().size(), BuiltInXorKey.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PageCryptKeyErrors,
    testing::Values(KeyErrorCase{true, 3, true, "Cannot set Crypt key on an opened file"},
                    KeyErrorCase{true, -1, false,
                                 "Error when setting XOR crypt key: Message was - "},
                    KeyErrorCase{false, -1, false, "Crypt key error (blowfish): Message was - "}));

class PageCryptRefusedBlowKey : public testing::TestWithParam<int> {};

// Mended: a refused key (0 or more than 56 bytes) used to leave the previous database's
// schedule in force; now it gives the state of a file object that never had a key.
TEST_P(PageCryptRefusedBlowKey, BehavesLikeAFreshObject) {
  const int length = GetParam();
  TPageCrypt crypt = MakeCrypt("previous database's key");
  const auto page = crypto_test::Pattern(PageSize);
  const auto before = Encipher(crypt, page, 4, 5);

  const auto key = crypto_test::Pattern(static_cast<size_t>(length) + 1);
  crypt.SetBlowKeyBuf(key.data(), length);
  EXPECT_TRUE(SameState(crypt.BlowfishState(), TBlowfishState{}));

  TPageCrypt fresh;
  fresh.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()), false);
  const auto after = Encipher(crypt, page, 4, 5);
  EXPECT_NE(after, before);
  EXPECT_EQ(after, Encipher(fresh, page, 4, 5));
  EXPECT_EQ(Decipher(crypt, after, 4, 5), page);
}

INSTANTIATE_TEST_SUITE_P(Lengths, PageCryptRefusedBlowKey, testing::Values(0, 57, 100));

TEST(PageCrypt, FiftySixByteBlowKeyBuildsANewSchedule) {
  TPageCrypt crypt = MakeCrypt();
  const TBlowfishState previous = crypt.BlowfishState();
  const auto key = crypto_test::Pattern(56);
  crypt.SetBlowKeyBuf(key.data(), 56);
  TBlowfishState expected;
  BlowfishInit(expected, key.data(), 448);
  EXPECT_TRUE(SameState(crypt.BlowfishState(), expected));
  EXPECT_FALSE(SameState(crypt.BlowfishState(), previous));
}

}  // namespace
