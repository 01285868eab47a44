// A random mix of cached and raw transfers, in and out of transactions, against a model of
// the file's bytes. Every page keeps one cipher (plain, XOR or Blowfish) so the model can
// encipher and decipher it; raw requests that the block cache refuses (8579, 8581) must leave
// everything unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "VorFileTestSupport.h"
#include "engine/storage/PageCrypt.h"
#include "engine/storage/VorFile.h"
#include "engine/storage/XorCipher.h"

using vorfile_test::Pattern;
using vorfile_test::ReadFileBytes;
using vorfile_test::ScratchDir;
using vorfile_test::WriteFileBytes;

namespace {

constexpr uint32_t P = 256;
constexpr uint32_t InitialPages = 80;  // above the 50-page cache, so pages get evicted
const std::string MasterKey = "random master key";

class TFileModel {
 public:
  TFileModel() {
    Crypt.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()), false);
    Crypt.SetBlowKeyBuf(MasterKey.data(), static_cast<int>(MasterKey.size()));
  }
  static uint32_t FlagsOf(uint32_t page) {
    static constexpr uint32_t Flags[] = {1, 3, 5};
    return Flags[page % 3];
  }
  static uint32_t TableOf(uint32_t page) { return page % 4 + 1; }

  // The plain bytes of a page as a reader with this table id gets them.
  std::vector<uint8_t> Plain(uint32_t page, uint32_t tableID) {
    std::vector<uint8_t> out(P);
    Crypt.CryptBytes(false, &Bytes[page * P], P, tableID, FlagsOf(page), out.data());
    return out;
  }
  void WritePlain(uint32_t address, const std::vector<uint8_t>& data, uint32_t tableID) {
    const uint32_t page = address / P;
    auto plain = Plain(page, tableID);
    std::copy(data.begin(), data.end(), plain.begin() + (address % P));
    Crypt.CryptBytes(true, plain.data(), P, tableID, FlagsOf(page), &Bytes[page * P]);
  }

  std::vector<uint8_t> Bytes;

 private:
  TPageCrypt Crypt;
};

bool IsRefusal(const EVorDatabaseError& e) {
  return e.ErrorCode == 8579 || e.ErrorCode == 8581;
}

}  // namespace

TEST(VorFileRandomTest, MixedTransfersMatchAModelOfTheFile) {
  ScratchDir dir;
  const std::string path = dir / "random.vor";
  std::mt19937 gen(20240611);
  auto below = [&](uint32_t n) { return static_cast<uint32_t>(gen() % n); };

  TFileModel pending;  // the file as it will be after commit
  pending.Bytes = Pattern(InitialPages * P, 99);
  WriteFileBytes(path, pending.Bytes);
  std::vector<uint8_t> committed = pending.Bytes;

  TVorFile file;
  file.SetPageSize(P);
  file.SetReadAccess(true);
  file.SetWriteAccess(true);
  file.SetUseCache(true);
  file.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()));
  file.SetBlowKeyBuf(MasterKey.data(), static_cast<int>(MasterKey.size()));
  file.OpenVorFile(path);

  // Raw requests come from a small set of shapes so that they meet each other.
  auto rawShape = [&](uint32_t& address, uint32_t& count) {
    const uint32_t size = static_cast<uint32_t>(pending.Bytes.size());
    static constexpr uint32_t Sizes[] = {P, 64, 16};
    count = Sizes[below(3)];
    address = below(size / count) * count;
  };

  int commits = 0, rollbacks = 0, refusals = 0;
  for (int step = 0; step < 6000; ++step) {
    SCOPED_TRACE(step);
    const uint32_t size = static_cast<uint32_t>(pending.Bytes.size());
    const uint32_t op = below(100);
    if (op < 25) {  // cached write inside one page
      const uint32_t page = below(size / P);
      const uint32_t offset = below(4) == 0 ? 0 : below(P);
      const uint32_t count = offset == 0 && below(2) ? P : 1 + below(P - offset);
      const uint32_t tableID = below(5) == 0 ? 9 : TFileModel::TableOf(page);
      const auto data = Pattern(count, gen());
      file.WriteCached(data.data(), page * P + offset, TFileModel::FlagsOf(page), tableID, count);
      pending.WritePlain(page * P + offset, data, tableID);
    } else if (op < 45) {  // raw write
      uint32_t address, count;
      rawShape(address, count);
      const auto data = below(3) == 0 ? std::vector<uint8_t>(count, 0) : Pattern(count, gen());
      try {
        if (count == P && below(2)) {
          file.WriteRawPage(address, data.data());
        } else {
          file.WriteRaw(data.data(), address, count);
        }
        std::copy(data.begin(), data.end(), pending.Bytes.begin() + address);
      } catch (const EVorDatabaseError& e) {
        ASSERT_TRUE(file.InTransaction() && IsRefusal(e)) << e.Message();
        ++refusals;
      }
    } else if (op < 65) {  // cached read inside one page
      const uint32_t page = below(size / P);
      const uint32_t offset = below(P);
      const uint32_t count = 1 + below(P - offset);
      const uint32_t tableID = below(5) == 0 ? 9 : TFileModel::TableOf(page);
      std::vector<uint8_t> got(count);
      file.ReadCached(got.data(), page * P + offset, TFileModel::FlagsOf(page), tableID, count);
      const auto plain = pending.Plain(page, tableID);
      ASSERT_EQ(got, std::vector<uint8_t>(plain.begin() + offset, plain.begin() + offset + count));
    } else if (op < 80) {  // raw read
      uint32_t address, count;
      rawShape(address, count);
      std::vector<uint8_t> got(count);
      try {
        file.ReadRaw(got.data(), address, count);
        ASSERT_EQ(got, std::vector<uint8_t>(pending.Bytes.begin() + address,
                                            pending.Bytes.begin() + address + count));
      } catch (const EVorDatabaseError& e) {
        ASSERT_TRUE(file.InTransaction() && IsRefusal(e)) << e.Message();
        ++refusals;
      }
    } else if (op < 84) {  // append one page
      const uint32_t page = size / P;
      const auto data = Pattern(P, gen());
      const bool cached = below(2);
      const uint32_t flags = cached ? TFileModel::FlagsOf(page) : 0;
      const uint32_t tableID = cached ? TFileModel::TableOf(page) : 0;
      ASSERT_EQ(file.SeekAndAppendVorFile(data.data(), P, flags, tableID), size);
      pending.Bytes.resize(size + P);
      if (cached) {
        pending.WritePlain(size, data, tableID);
      } else {
        std::copy(data.begin(), data.end(), pending.Bytes.begin() + size);
      }
    } else if (op < 86) {
      file.SetUseCache(!file.UseCache());
    } else if (!file.InTransaction()) {
      if (op < 92) file.StartTransaction();
    } else if (op < 96) {
      file.Commit();
      committed = pending.Bytes;
      ++commits;
      ASSERT_EQ(ReadFileBytes(path), committed);
    } else {
      file.Rollback();
      pending.Bytes = committed;
      ++rollbacks;
      ASSERT_EQ(ReadFileBytes(path), committed);
    }
    ASSERT_EQ(file.FileEnd(), static_cast<int64_t>(pending.Bytes.size()));
    if (!file.InTransaction()) {
      committed = pending.Bytes;  // written through
      if (step % 16 == 0) {
        ASSERT_EQ(ReadFileBytes(path), committed);
      }
    }
  }
  EXPECT_GT(commits, 20);
  EXPECT_GT(rollbacks, 10);
  EXPECT_GT(refusals, 0);
}
