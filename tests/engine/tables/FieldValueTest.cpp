// Field values in record images: null flags, stored lengths, setting and getting values, blob
// references, damaged size markers, and a randomized run against a simple model.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "TablesTestSupport.h"
#include "engine/tables/FieldValue.h"
#include "engine/tables/InternalFields.h"

namespace {

using tables_test::ErrorOf;

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Integer, string 10, boolean, float, memo, word.
class FieldValueTest : public ::testing::Test {
 protected:
  FieldValueTest() {
    const int types[] = {ftInteger, ftString, ftBoolean, ftFloat, ftMemo, ftWord};
    for (int i = 0; i < 6; ++i) {
      auto& item = FFields.Add();
      item.SetFieldName("F" + std::to_string(i));
      item.SetDataType(types[i]);
      if (types[i] == ftString) {
        item.SetFieldSize(11);
        item.SetIsVariable(true);
      }
      item.SetFieldIndex(i);
      item.SetFieldNo(i);
    }
    FFields.SetDefaultOffsets();
    FFields.BuildIndexMap();
    FRecord.assign(FFields.RecordSize(), 0);
  }
  const TInternalFieldItem& F(int i) { return FFields.Items(i); }

  TInternalFields FFields;
  std::vector<uint8_t> FRecord;
};

TEST_F(FieldValueTest, NullFlagsFollowSetAndSetNull) {
  for (int i = 0; i < FFields.Count(); ++i) EXPECT_TRUE(TFieldValue::IsNull(F(i), FRecord));
  int32_t value = -7;
  TFieldValue::Set(F(0), FRecord, {reinterpret_cast<uint8_t*>(&value), 4});
  EXPECT_FALSE(TFieldValue::IsNull(F(0), FRecord));
  EXPECT_EQ(FRecord[F(0).NullFlagOffset()], 1);
  EXPECT_TRUE(TFieldValue::IsNull(F(1), FRecord));

  TFieldValue::Set(F(1), FRecord, Bytes("abc"));
  TFieldValue::SetNull(F(1), FRecord);
  EXPECT_TRUE(TFieldValue::IsNull(F(1), FRecord));
  for (int32_t k = 0; k < F(1).FieldSize(); ++k) EXPECT_EQ(FRecord[F(1).DataOffset() + k], 0);
  EXPECT_EQ(le::GetU16(&FRecord[F(1).SizeMarkerOffset()]), 0);
  // Any non-zero flag is a value (search buffers use 2 and 4).
  FRecord[F(0).NullFlagOffset()] = 2;
  EXPECT_FALSE(TFieldValue::IsNull(F(0), FRecord));
}

TEST_F(FieldValueTest, StoredLengthsByKind) {
  TFieldValue::Set(F(1), FRecord, Bytes("hello"));
  TFieldValue::SetBlobRef(F(4), FRecord, {4096, 1234});
  struct Case {
    int Field;
    int32_t WithValue;
  };
  const Case cases[] = {{0, 4}, {1, 5}, {2, 1}, {3, 8}, {4, 1234}, {5, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Field);
    if (F(c.Field).IsBlob() || F(c.Field).IsVariable()) {
      EXPECT_EQ(TFieldValue::StoredLength(F(c.Field), FRecord), c.WithValue);
      FRecord[F(c.Field).NullFlagOffset()] = 0;
      EXPECT_EQ(TFieldValue::StoredLength(F(c.Field), FRecord), 0);
    } else {
      // A fixed field always has its full size.
      EXPECT_EQ(TFieldValue::StoredLength(F(c.Field), FRecord), c.WithValue);
    }
  }
  // A blob counts only with flag 1.
  TFieldValue::SetBlobRef(F(4), FRecord, {4096, 10});
  FRecord[F(4).NullFlagOffset()] = 2;
  EXPECT_EQ(TFieldValue::StoredLength(F(4), FRecord), 0);
}

TEST_F(FieldValueTest, ValuesUpToDisplaySizeAndShorterOnesClearTheRest) {
  EXPECT_EQ(F(1).DisplaySize(), 10);
  TFieldValue::Set(F(1), FRecord, Bytes("0123456789"));
  TFieldValue::Set(F(1), FRecord, Bytes("ab"));
  std::vector<uint8_t> out(F(1).FieldSize(), 0xEE);
  ASSERT_TRUE(TFieldValue::Get(F(1), FRecord, out));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), "ab");
  for (size_t k = 2; k < out.size(); ++k) EXPECT_EQ(out[k], 0) << k;

  auto error = ErrorOf([&] { TFieldValue::Set(F(1), FRecord, Bytes("0123456789X")); });
  EXPECT_EQ(error.Code, 8581);
  EXPECT_NE(error.Message.find("Field data length is out of range"), std::string::npos);
  EXPECT_EQ(ErrorOf([&] { TFieldValue::Set(F(0), FRecord, Bytes("12345")); }).Code, 8581);
  // The refused value left the old one.
  ASSERT_TRUE(TFieldValue::Get(F(1), FRecord, out));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data())), "ab");

  std::vector<uint8_t> untouched(8, 0x55);
  EXPECT_FALSE(TFieldValue::Get(F(3), FRecord, untouched));
  EXPECT_EQ(untouched[0], 0x55);
}

TEST_F(FieldValueTest, BlobFieldsGoThroughTheirReference) {
  std::vector<uint8_t> out(8);
  EXPECT_EQ(ErrorOf([&] { TFieldValue::Get(F(4), FRecord, out); }).Code, 8581);
  EXPECT_EQ(ErrorOf([&] { TFieldValue::Set(F(4), FRecord, Bytes("x")); }).Code, 8581);
  TFieldValue::SetBlobRef(F(4), FRecord, {0x12345678, 99});
  EXPECT_FALSE(TFieldValue::IsNull(F(4), FRecord));
  EXPECT_EQ(le::GetU32(&FRecord[F(4).DataOffset()]), 0x12345678u);
  EXPECT_EQ(le::GetU32(&FRecord[F(4).DataOffset() + 4]), 99u);
  TFieldValue::SetBlobRef(F(4), FRecord, {0, 0});
  EXPECT_TRUE(TFieldValue::IsNull(F(4), FRecord));
}

TEST_F(FieldValueTest, DamagedSizeMarkersAreCorruption) {
  TFieldValue::Set(F(1), FRecord, Bytes("abc"));
  for (uint16_t marker : {uint16_t{11}, uint16_t{300}, uint16_t{0xFFFF}}) {
    SCOPED_TRACE(marker);
    le::PutU16(&FRecord[F(1).SizeMarkerOffset()], marker);
    std::vector<uint8_t> out(F(1).FieldSize());
    EXPECT_EQ(ErrorOf([&] { TFieldValue::StoredLength(F(1), FRecord); }).Code, 8962);
    EXPECT_EQ(ErrorOf([&] { TFieldValue::Get(F(1), FRecord, out); }).Code, 8962);
    EXPECT_EQ(ErrorOf([&] { FFields.CheckRecord(FRecord, "test"); }).Code, 8962);
  }
  le::PutU16(&FRecord[F(1).SizeMarkerOffset()], 10);
  EXPECT_NO_THROW(FFields.CheckRecord(FRecord, "test"));
}

TEST_F(FieldValueTest, VariableFieldWithoutMarkerIsRefused) {
  TInternalFields fields;
  auto& item = fields.Add();
  item.SetDataType(ftInteger);
  item.SetIsVariable(true);
  fields.SetDefaultOffsets();
  std::vector<uint8_t> record(fields.RecordSize(), 0);
  EXPECT_EQ(ErrorOf([&] { TFieldValue::StoredLength(item, record); }).Code, 10000);
}

// Random sets and clears against a model of each field's value.
TEST_F(FieldValueTest, RandomizedAgainstModel) {
  std::mt19937 gen(20240611);
  std::map<int, std::optional<std::vector<uint8_t>>> model;
  const int valueFields[] = {0, 1, 2, 3, 5};
  for (int step = 0; step < 5000; ++step) {
    const int f = valueFields[gen() % 5];
    const auto& item = F(f);
    if (gen() % 4 == 0) {
      TFieldValue::SetNull(item, FRecord);
      model[f] = std::nullopt;
    } else {
      const size_t length = item.IsVariable() ? gen() % (item.DisplaySize() + 1) : item.FieldSize();
      std::vector<uint8_t> value(length);
      for (auto& b : value) b = static_cast<uint8_t>(1 + gen() % 255);
      TFieldValue::Set(item, FRecord, value);
      value.resize(item.FieldSize(), 0);
      model[f] = value;
    }
    for (int g : valueFields) {
      std::vector<uint8_t> out(F(g).FieldSize(), 0xAA);
      const bool has = TFieldValue::Get(F(g), FRecord, out);
      ASSERT_EQ(has, model[g].has_value()) << step;
      if (has) {
        ASSERT_EQ(out, *model[g]) << step;
      }
    }
    ASSERT_NO_THROW(FFields.CheckRecord(FRecord, "test"));
  }
}

}  // namespace
