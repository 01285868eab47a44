// Blowfish: the published known-answer vectors (which also prove the pi tables), the key
// schedule's handling of short and refused keys, and 8-bit cipher feedback.
#include <gtest/gtest.h>

#include <vector>

#include "CryptoTestHex.h"
#include "engine/storage/Blowfish.h"

using crypto_test::Hex;
using crypto_test::ToHex;

namespace {

bool SameState(const TBlowfishState& a, const TBlowfishState& b) {
  return a.IV == b.IV && a.Register == b.Register && a.SBoxes == b.SBoxes && a.PArray == b.PArray;
}

TBlowfishState Keyed(const std::vector<uint8_t>& key) {
  TBlowfishState state;
  BlowfishInit(state, key.data(), static_cast<int>(key.size() * 8));
  return state;
}

std::string EncryptHex(const TBlowfishState& state, std::string_view plainHex) {
  auto block = Hex(plainHex);
  BlowfishEncryptBlock(state, block.data(), block.data());
  return ToHex(block);
}

struct EcbCase {
  const char* Key;
  const char* Plain;
  const char* Cipher;
};

class BlowfishEcb : public testing::TestWithParam<EcbCase> {};

TEST_P(BlowfishEcb, EncryptsToPublishedValue) {
  const auto& c = GetParam();
  EXPECT_EQ(EncryptHex(Keyed(Hex(c.Key)), c.Plain), c.Cipher);
}

INSTANTIATE_TEST_SUITE_P(
    Published, BlowfishEcb,
    testing::Values(EcbCase{"0000000000000000", "0000000000000000", "4EF997456198DD78"},
                    EcbCase{"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
                    EcbCase{"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
                    EcbCase{"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
                    EcbCase{"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
                    EcbCase{"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
                    EcbCase{"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
                    EcbCase{"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
                    EcbCase{"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
                    EcbCase{"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
                    EcbCase{"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
                    EcbCase{"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
                    EcbCase{"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
                    EcbCase{"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
                    EcbCase{"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
                    EcbCase{"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
                    EcbCase{"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
                    EcbCase{"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
                    EcbCase{"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
                    EcbCase{"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
                    EcbCase{"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
                    EcbCase{"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
                    EcbCase{"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
                    EcbCase{"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
                    EcbCase{"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
                    EcbCase{"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
                    EcbCase{"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
                    EcbCase{"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
                    EcbCase{"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
                    EcbCase{"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
                    EcbCase{"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
                    EcbCase{"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
                    EcbCase{"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"}));

// The published variable-key set: prefixes of one key, 1 to 24 bytes, over one block. Keys
// shorter than 18 words repeat cyclically in the P-array.
class BlowfishKeyLength : public testing::TestWithParam<std::pair<int, const char*>> {};

TEST_P(BlowfishKeyLength, EncryptsToPublishedValue) {
  const auto fullKey = Hex("F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677");
  const auto [length, cipher] = GetParam();
  const std::vector<uint8_t> key(fullKey.begin(), fullKey.begin() + length);
  EXPECT_EQ(EncryptHex(Keyed(key), "FEDCBA9876543210"), cipher);
}

INSTANTIATE_TEST_SUITE_P(
    Published, BlowfishKeyLength,
    testing::Values(std::pair{1, "F9AD597C49DB005E"}, std::pair{2, "E91D21C1D961A6D6"},
                    std::pair{3, "E9C2B70A1BC65CF3"}, std::pair{4, "BE1E639408640F05"},
                    std::pair{5, "B39E44481BDB1E6E"}, std::pair{6, "9457AA83B1928C0D"},
                    std::pair{7, "8BB77032F960629D"}, std::pair{8, "E87A244E2CC85E82"},
                    std::pair{9, "15750E7A4F4EC577"}, std::pair{10, "122BA70B3AB64AE0"},
                    std::pair{11, "3A833C9AFFC537F6"}, std::pair{12, "9409DA87A90F6BF2"},
                    std::pair{13, "884F80625060B8B4"}, std::pair{14, "1F85031C19E11968"},
                    std::pair{15, "79D9373A714CA34F"}, std::pair{16, "93142887EE3BE15C"},
                    std::pair{17, "03429E838CE2D14B"}, std::pair{18, "A4299E27469FF67B"},
                    std::pair{19, "AFD5AED1C1BC96A8"}, std::pair{20, "10851C0E3858DA9F"},
                    std::pair{21, "E6F51ED79B9DB21F"}, std::pair{22, "64A6E14AFD36B46F"},
                    std::pair{23, "80C7D7D45A5479AD"}, std::pair{24, "05044B62FA52D080"}));

TEST(Blowfish, InitialTablesAreTheDigitsOfPi) {
  EXPECT_EQ(BlowfishInitialP.front(), 0x243F6A88u);
  EXPECT_EQ(BlowfishInitialP.back(), 0x8979FB1Bu);
  EXPECT_EQ(BlowfishInitialS[0][0], 0xD1310BA6u);
  EXPECT_EQ(BlowfishInitialS[3][255], 0x3AC372E6u);
}

TEST(Blowfish, AllZeroStateOnlySwapsHalves) {
  const TBlowfishState zero{};
  EXPECT_EQ(EncryptHex(zero, "0123456789ABCDEF"), "89ABCDEF01234567");
}

TEST(Blowfish, IvIsEncryptedOnesUnlessGiven) {
  const auto key = Hex("0000000000000000");
  TBlowfishState state = Keyed(key);
  EXPECT_EQ(ToHex(state.IV), EncryptHex(state, "FFFFFFFFFFFFFFFF"));
  EXPECT_EQ(ToHex(state.IV), "014933E0CDAFF6E4");
  EXPECT_EQ(state.Register, state.IV);

  const auto iv = Hex("0011223344556677");
  BlowfishInit(state, key.data(), 64, iv.data());
  EXPECT_EQ(ToHex(state.IV), "0011223344556677");
  EXPECT_EQ(state.Register, state.IV);
}

TEST(Blowfish, FiftySixByteKeyIsAccepted) {
  const auto key = crypto_test::Pattern(56);
  const TBlowfishState state = Keyed(key);
  EXPECT_FALSE(SameState(state, TBlowfishState{}));
  // The last key byte takes part: changing it changes the schedule.
  auto other = key;
  other[55] ^= 1;
  EXPECT_NE(Keyed(other).PArray, state.PArray);
}

struct RefusedKey {
  int KeyBits;
  bool NullKey;
};

class BlowfishRefusedKey : public testing::TestWithParam<RefusedKey> {};

// A refused key must not leave the previous schedule in force: the state becomes the
// all-zero state of a file object that never had a key.
TEST_P(BlowfishRefusedKey, ResetsToAllZeroState) {
  TBlowfishState state = Keyed(Hex("0123456789ABCDEF"));
  const auto key = crypto_test::Pattern(64);
  BlowfishInit(state, GetParam().NullKey ? nullptr : key.data(), GetParam().KeyBits);
  EXPECT_TRUE(SameState(state, TBlowfishState{}));
}

INSTANTIATE_TEST_SUITE_P(Cases, BlowfishRefusedKey,
                         testing::Values(RefusedKey{0, false}, RefusedKey{-8, false},
                                         RefusedKey{456, false},  // 57 bytes
                                         RefusedKey{512, false}, RefusedKey{12, false},
                                         RefusedKey{449, false}, RefusedKey{64, true}));

class BlowfishCfb : public testing::TestWithParam<size_t> {};

TEST_P(BlowfishCfb, RoundTripsSeparateAndInPlace) {
  const size_t count = GetParam();
  TBlowfishState state = Keyed(Hex("0123456789ABCDEF"));
  const auto plain = crypto_test::Pattern(count, static_cast<uint32_t>(count));

  std::vector<uint8_t> cipher(count);
  BlowfishEncipherCFB(state, plain.data(), cipher.data(), count);
  const auto registerAfterEncipher = state.Register;
  BlowfishResetRegister(state);
  EXPECT_EQ(state.Register, state.IV);

  std::vector<uint8_t> back(count);
  BlowfishDecipherCFB(state, cipher.data(), back.data(), count);
  EXPECT_EQ(back, plain);
  // Both directions feed the cipher text back, so they end with the same register.
  EXPECT_EQ(state.Register, registerAfterEncipher);

  BlowfishResetRegister(state);
  auto buffer = plain;
  BlowfishEncipherCFB(state, buffer.data(), buffer.data(), count);
  EXPECT_EQ(buffer, cipher);
  BlowfishResetRegister(state);
  BlowfishDecipherCFB(state, buffer.data(), buffer.data(), count);
  EXPECT_EQ(buffer, plain);

  if (count >= 8) {
    EXPECT_NE(cipher, plain);
    EXPECT_TRUE(std::equal(state.Register.begin(), state.Register.end(), cipher.end() - 8));
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, BlowfishCfb,
                         testing::Values(0, 1, 3, 7, 8, 9, 63, 64, 65, 511, 4095, 4096, 4097));

TEST(BlowfishCfb, FirstByteIsMaskedByTheEncryptedIv) {
  TBlowfishState state = Keyed(Hex("FEDCBA9876543210"));
  TBlowfishBlock keyStream;
  BlowfishEncryptBlock(state, state.IV.data(), keyStream.data());
  const uint8_t plain = 0x5A;
  uint8_t cipher = 0;
  BlowfishEncipherCFB(state, &plain, &cipher, 1);
  EXPECT_EQ(cipher, plain ^ keyStream[0]);
  // The register moved one byte left and took the cipher byte in at the end.
  EXPECT_TRUE(std::equal(state.IV.begin() + 1, state.IV.end(), state.Register.begin()));
  EXPECT_EQ(state.Register[7], cipher);
}

TEST(BlowfishCfb, RegisterCarriesAcrossCalls) {
  TBlowfishState state = Keyed(Hex("1111111111111111"));
  const auto plain = crypto_test::Pattern(1000);
  std::vector<uint8_t> whole(1000), pieces(1000);
  BlowfishEncipherCFB(state, plain.data(), whole.data(), 1000);
  BlowfishResetRegister(state);
  BlowfishEncipherCFB(state, plain.data(), pieces.data(), 333);
  BlowfishEncipherCFB(state, plain.data() + 333, pieces.data() + 333, 667);
  EXPECT_EQ(pieces, whole);
}

TEST(BlowfishCfb, AllZeroStateStillRoundTrips) {
  TBlowfishState state{};
  const auto plain = crypto_test::Pattern(300);
  auto buffer = plain;
  BlowfishEncipherCFB(state, buffer.data(), buffer.data(), buffer.size());
  BlowfishResetRegister(state);
  BlowfishDecipherCFB(state, buffer.data(), buffer.data(), buffer.size());
  EXPECT_EQ(buffer, plain);
}

TEST(BlowfishCfb, WrongKeyDeciphersToOtherBytes) {
  TBlowfishState right = Keyed(Hex("0123456789ABCDEF"));
  TBlowfishState wrong = Keyed(Hex("0123456789ABCDEE"));
  const auto plain = crypto_test::Pattern(64);
  std::vector<uint8_t> cipher(64), back(64);
  BlowfishEncipherCFB(right, plain.data(), cipher.data(), 64);
  BlowfishDecipherCFB(wrong, cipher.data(), back.data(), 64);
  EXPECT_NE(back, plain);
}

}  // namespace
