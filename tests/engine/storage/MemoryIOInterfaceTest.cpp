// The memory block interface and the operations a bare base interface refuses.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "IOInterfaceTestSupport.h"

namespace {

using namespace iointerface_test;

TEST(MemoryIOInterfaceTest, BlocksAreZeroFilledAndListedInAllocationOrder) {
  TMemoryIOInterface io;
  io.SetBlockSize(100);
  io.Open();
  EXPECT_EQ(io.Kind(), ioKindMemory);
  const std::vector<uint8_t> data = Bytes(10, 1);
  const uint32_t a = io.AllocateNewAddress(10, data.data());
  const uint32_t b = io.AllocateNewAddress(100, nullptr);
  const uint32_t c = io.AllocateNewAddress(300, Bytes(300, 2).data());  // larger than a block
  EXPECT_NE(a, 0u);

  std::vector<uint8_t> block(100);
  io.ReadBlock(a, 100, block.data());
  std::vector<uint8_t> expected(100, 0);
  std::copy(data.begin(), data.end(), expected.begin());
  EXPECT_EQ(block, expected);
  std::vector<uint8_t> big(300);
  io.ReadBlock(c, 300, big.data());
  EXPECT_EQ(big, Bytes(300, 2));

  std::vector<uint32_t> list;
  io.ListBlocks(list);
  EXPECT_EQ(list, (std::vector<uint32_t>{a, b, c}));
  EXPECT_EQ(io.NextAddress(0), a);
  EXPECT_EQ(io.NextAddress(a), b);
  EXPECT_EQ(io.NextAddress(c), 0u);

  io.ReleaseBlock(b, 100);
  EXPECT_FALSE(io.Exists(b));
  EXPECT_FALSE(io.IsValidAddress(b));
  EXPECT_TRUE(io.IsPlausibleBlock(a));
  EXPECT_EQ(io.NextAddress(a), c);
  EXPECT_EQ(io.NextAddress(b), 0u) << "an unknown address has no successor";
  const uint32_t d = io.AllocateNewAddress(100, nullptr);
  EXPECT_NE(d, b) << "addresses are never reused";
  EXPECT_EQ(io.BlockCount(), 3u);

  io.WriteBlock(a, 100, Bytes(100, 3).data());
  io.ReadBlock(a, 100, block.data());
  EXPECT_EQ(block, Bytes(100, 3));
  io.WriteBlockHeader(a, 4, Bytes(4, 4).data());
  std::vector<uint8_t> header(4, 0xEE);
  io.ReadBlockHeader(a, 4, header.data());
  EXPECT_EQ(header, Bytes(4, 4));
  io.ReadBlockHeader(b, 4, header.data());
  EXPECT_EQ(header, Bytes(4, 4)) << "an unknown block's header reads nothing";
}

TEST(MemoryIOInterfaceTest, ErrorsNameTheOperation) {
  TMemoryIOInterface io;
  io.SetBlockSize(100);
  io.Open();
  const uint32_t a = io.AllocateNewAddress(100, nullptr);
  const uint32_t unknown = a + 1000;
  std::vector<uint8_t> buffer(200);
  std::vector<uint8_t> inside;

  struct Case {
    const char* Name;
    std::function<void()> Run;
    const char* Message;  // the custom message starts with this
    const char* Context;
  };
  const Case cases[] = {
      {"read unknown", [&] { io.ReadBlock(unknown, 100, buffer.data()); },
       "Read page error - block address not found", "TMemoryIOInterface.ReadBlock"},
      {"read without buffer", [&] { io.ReadBlock(a, 100, nullptr); }, "Unassigned memory pointer",
       "TMemoryIOInterface.ReadBlock"},
      {"read past the block", [&] { io.ReadBlock(a, 101, buffer.data()); },
       "Read page error - size exceeds the block", "TMemoryIOInterface.ReadBlock"},
      {"header without buffer", [&] { io.ReadBlockHeader(a, 4, nullptr); },
       "Read header error - nil pointer", "TMemoryIOInterface.ReadBlockHeader"},
      {"write without buffer", [&] { io.WriteBlock(a, 100, nullptr); },
       "Write page error - nil pointer", "TMemoryIOInterface.WriteBlock"},
      {"write unknown", [&] { io.WriteBlock(unknown, 100, buffer.data()); },
       "Write page error - block address not found", "TMemoryIOInterface.WriteBlock"},
      {"write past the block", [&] { io.WriteBlock(a, 200, buffer.data()); },
       "Write page error - size exceeds the block", "TMemoryIOInterface.WriteBlock"},
      {"header write without buffer", [&] { io.WriteBlockHeader(a, 4, nullptr); },
       "Write header error - nil pointer", "TMemoryIOInterface.WriteBlockHeader"},
      {"header write unknown", [&] { io.WriteBlockHeader(unknown, 4, buffer.data()); },
       "Write header error - block address not found", "TMemoryIOInterface.WriteBlockHeader"},
  };
  for (const Case& c : cases) {
    const RaisedError e = ErrorOf(c.Run);
    EXPECT_EQ(e.Code, 8581) << c.Name;
    EXPECT_NE(e.Message.find(c.Message), std::string::npos) << c.Name << ": " << e.Message;
    EXPECT_NE(e.Context.find(c.Context), std::string::npos) << c.Name << ": " << e.Context;
  }
  const RaisedError e = ErrorOf([&] { io.ReadBlock(unknown, 100, buffer.data()); });
  EXPECT_TRUE(EndsWith(e.Message, " " + std::to_string(unknown))) << e.Message;
}

TEST(MemoryIOInterfaceTest, ReadingABlockIntoItselfIsRefused) {
  TMemoryIOInterface io;
  io.SetBlockSize(16);
  const uint32_t a = io.AllocateNewAddress(16, Bytes(16, 5).data());
  uint8_t* own = io.BlockData(a);
  ASSERT_NE(own, nullptr);
  const RaisedError e = ErrorOf([&] { io.ReadBlock(a, 16, own); });
  EXPECT_EQ(e.Code, 8581);
  EXPECT_TRUE(EndsWith(e.Message, "Read page error - buffers equal"));
  EXPECT_EQ(io.BlockData(a + 1), nullptr);
}

TEST(BaseIOInterfaceTest, ChangingOperationsRaise10065AndTheRestAnswerNothing) {
  TBaseIOInterface io;
  io.SetTableID(3);
  io.SetUsage(9);
  io.Open();
  EXPECT_EQ(io.MapFlags(), 3 * 16 + 9);
  uint8_t byte = 0;
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"TBaseIOInterface.Empty", [&] { io.Empty(true); }},
      {"TBaseIOInterface.AllocateNewAddress", [&] { io.AllocateNewAddress(1, &byte); }},
      {"TBaseIOInterface.ReleaseBlock", [&] { io.ReleaseBlock(1, 1); }},
      {"TBaseIOInterface.WriteBlock", [&] { io.WriteBlock(1, 1, &byte); }},
      {"TBaseIOInterface.WriteBlockHeader", [&] { io.WriteBlockHeader(1, 1, &byte); }},
  };
  for (const auto& [context, run] : cases) {
    const RaisedError e = ErrorOf(run);
    EXPECT_EQ(e.Code, 10065) << context;
    EXPECT_NE(e.Context.find(context), std::string::npos) << e.Context;
  }
  io.ReadBlock(1, 1, &byte);
  std::vector<uint32_t> list{1, 2};
  io.ListBlocks(list);
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(io.IsValidAddress(1));
  EXPECT_FALSE(io.Exists(1));
  EXPECT_EQ(io.NextAddress(0), 0u);
}

}  // namespace
