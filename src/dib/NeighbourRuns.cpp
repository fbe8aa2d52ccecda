#include "dib/NeighbourRuns.h"

#include <immintrin.h>

#include <cstddef>

namespace kelvane::dib {

namespace {

__attribute__((target("avx2"))) __m256i Load(const std::uint8_t* bytes) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes));
}

__attribute__((target("avx2"))) void Store(std::uint8_t* bytes, __m256i value) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(bytes), value);
}

// The bytes of `window` at `picks`, each below the window's size. AVX2
// shuffles bytes only within each 16-byte lane: the window's low half is
// shuffled in both lanes, and so is its high half, and each byte is taken
// from the one that holds its pick.
__attribute__((target("avx2"))) __m256i Pick(__m256i window, __m256i picks) {
  const __m256i low = _mm256_permute2x128_si256(window, window, 0x00);
  const __m256i high = _mm256_permute2x128_si256(window, window, 0x11);
  const __m256i inHigh = _mm256_cmpgt_epi8(picks, _mm256_set1_epi8(15));
  return _mm256_blendv_epi8(_mm256_shuffle_epi8(low, picks), _mm256_shuffle_epi8(high, picks),
                            inHigh);
}

}  // namespace

std::vector<NeighbourRun> NeighbourRunsOf(const std::vector<std::int32_t>& offsets) {
  std::vector<NeighbourRun> runs;
  for (std::size_t x = 0; x < offsets.size();) {
    NeighbourRun run{offsets[x], static_cast<std::int32_t>(3 * x), {}};
    for (std::size_t n = 0; 3 * n + 3 <= kNeighbourWindow && x < offsets.size() &&
                            offsets[x] - run.from + 6 <= kNeighbourWindow;
         ++n, ++x)
      for (std::size_t j = 0; j < 3; ++j)
        run.picks[3 * n + j] = static_cast<std::uint8_t>(offsets[x] - run.from + j);
    runs.push_back(run);
  }
  return runs;
}

__attribute__((target("avx2"))) void CopyNeighboursAvx2(const std::uint8_t* down,
                                                        const std::vector<NeighbourRun>& runs,
                                                        std::uint8_t* left, std::uint8_t* right) {
  for (const NeighbourRun& run : runs) {
    const __m256i picks = Load(run.picks.data());
    Store(left + run.to, Pick(Load(down + run.from), picks));
    Store(right + run.to, Pick(Load(down + run.from + 3), picks));
  }
}

void CopyNeighboursBytes(const std::uint8_t* down, const std::vector<NeighbourRun>& runs,
                         std::uint8_t* left, std::uint8_t* right) {
  for (const NeighbourRun& run : runs) {
    const std::uint8_t* window = down + run.from;
    for (std::size_t i = 0; i < kNeighbourWindow; ++i) {
      left[run.to + i] = window[run.picks[i]];
      right[run.to + i] = window[run.picks[i] + 3];
    }
  }
}

NeighbourCopy NeighbourCopyForThisProcessor() {
  return __builtin_cpu_supports("avx2") ? CopyNeighboursAvx2 : CopyNeighboursBytes;
}

}  // namespace kelvane::dib
