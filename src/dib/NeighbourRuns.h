#pragma once
// The two neighbours of each target byte of a resampled row, copied out of
// the row interpolated down into a left and a right row, so that the
// interpolation across reads its inputs in order. Target pixels go in runs
// whose neighbours lie within one window of the row down: the window is
// loaded once, and each target byte's neighbour is picked from it.

#include <array>
#include <cstdint>
#include <vector>

namespace kelvane::dib {

// Bytes of the row down that one run reads.
constexpr int kNeighbourWindow = 32;

struct NeighbourRun {
  std::int32_t from;  // offset in the row down of the first pixel's left neighbour
  std::int32_t to;    // offset of the first pixel's bytes in the left and right rows
  std::array<std::uint8_t, kNeighbourWindow> picks;  // for each of the run's bytes, where
                                                     // its left neighbour lies from `from`
};

// The runs of the target pixels whose left neighbours lie at the byte
// offsets `offsets`, increasing, in order, each as long as its window allows.
std::vector<NeighbourRun> NeighbourRunsOf(const std::vector<std::int32_t>& offsets);

// Copies the neighbours of each target pixel out of the row down `down`:
// its three bytes in `left` from its left neighbour, in `right` from the
// next pixel. Each run stores a window, which the next run partly
// overwrites: `down` has a window and 3 bytes to spare beyond the last
// offset, `left` and `right` a window beyond the last pixel.
using NeighbourCopy = void (*)(const std::uint8_t* down, const std::vector<NeighbourRun>& runs,
                               std::uint8_t* left, std::uint8_t* right);

// The copy with AVX2's byte shuffles, a run at a time; only where the
// processor has AVX2.
void CopyNeighboursAvx2(const std::uint8_t* down, const std::vector<NeighbourRun>& runs,
                        std::uint8_t* left, std::uint8_t* right);
// The same copy a byte at a time.
void CopyNeighboursBytes(const std::uint8_t* down, const std::vector<NeighbourRun>& runs,
                         std::uint8_t* left, std::uint8_t* right);

// The fastest copy this processor has.
NeighbourCopy NeighbourCopyForThisProcessor();

}  // namespace kelvane::dib
