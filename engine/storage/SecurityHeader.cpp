#include "engine/storage/SecurityHeader.h"

#include "engine/storage/Crc32.h"
#include "engine/storage/LittleEndian.h"
#include "engine/storage/Sha1.h"
#include "engine/storage/VorErrors.h"

namespace {

constexpr uint16_t HeaderWordValue = 1;
constexpr const char* ReadContext = "TDiskMgr.ReadSecurityHeader";

uint32_t RecordCrc(const TSecurityHeader& rec) {
  return Crc32(rec.data(), static_cast<int>(rec.size()));
}

}  // namespace

void BuildSecurityHeader(const std::string& masterKey, TDateTime writtenAt, TSecurityHeader& rec) {
  rec.fill(0);
  le::PutU32(rec.data() + dbfile::SecRecordSize, dbfile::SecurityHeaderSize);
  le::PutDouble(rec.data() + dbfile::SecWrittenAt, writtenAt);
  le::PutU16(rec.data() + dbfile::SecWord1, HeaderWordValue);
  le::PutU16(rec.data() + dbfile::SecWord2, HeaderWordValue);
  TSha1Digest digest;
  Sha1Digest(masterKey, digest);
  for (int i = 0; i < Sha1WordCount; ++i) {
    le::PutU32(rec.data() + dbfile::SecKeyDigest + 4 * i, Sha1DigestWord(digest, i));
  }
  le::PutU32(rec.data() + dbfile::SecCrc, RecordCrc(rec));
}

void CheckSecurityHeader(TSecurityHeader& rec, const std::string& masterKey) {
  uint8_t* crcField = rec.data() + dbfile::SecCrc;
  const uint32_t stored = le::GetU32(crcField);
  le::PutU32(crcField, 0);
  const uint32_t computed = RecordCrc(rec);
  le::PutU32(crcField, stored);
  if (computed != stored) {
    RaiseDatabaseError(8451, ReadContext, "The Security Header CRC is incorrect");
  }
  TSha1Digest digest;
  Sha1Digest(masterKey, digest);
  for (int i = 0; i < Sha1WordCount; ++i) {
    if (le::GetU32(rec.data() + dbfile::SecKeyDigest + 4 * i) != Sha1DigestWord(digest, i)) {
      RaiseDatabaseError(8451, ReadContext, "The MasterKey is incorrect");
    }
  }
}
