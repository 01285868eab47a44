// Enciphering and deciphering one 4096-byte table page with the XOR cipher (page flags 3)
// and with Blowfish in 8-bit cipher feedback (page flags 5), in pages per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/storage/PageCrypt.h"
#include "engine/storage/XorCipher.h"

namespace {

constexpr size_t PageSize = 4096;
constexpr uint32_t TableId = 100;  // the longest stride

TPageCrypt MakeCrypt() {
  TPageCrypt crypt;
  crypt.SetXORKeyBuf(BuiltInXorKey.data(), static_cast<int>(BuiltInXorKey.size()), false);
  const std::string masterKey = "benchmark master key";
  crypt.SetBlowKeyBuf(masterKey.data(), static_cast<int>(masterKey.size()));
  return crypt;
}

// args: page flags, 1 to encipher / 0 to decipher.
void BM_CryptPage(benchmark::State& state) {
  const auto flags = static_cast<uint32_t>(state.range(0));
  const bool encipher = state.range(1) != 0;
  TPageCrypt crypt = MakeCrypt();
  std::vector<uint8_t> page(PageSize);
  for (size_t i = 0; i < PageSize; ++i) page[i] = static_cast<uint8_t>(i * 31 + 7);
  std::vector<uint8_t> target(PageSize);
  for (auto _ : state) {
    crypt.CryptBytes(encipher, page.data(), PageSize, TableId, flags, target.data());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(PageSize));
  state.counters["pages/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.SetLabel(std::string(flags & CryptFlagXor ? "xor" : "blowfish-cfb8") +
                 (encipher ? " encipher" : " decipher"));
}

BENCHMARK(BM_CryptPage)
    ->ArgNames({"flags", "encipher"})
    ->Args({3, 1})
    ->Args({3, 0})
    ->Args({5, 1})
    ->Args({5, 0});

}  // namespace

BENCHMARK_MAIN();
