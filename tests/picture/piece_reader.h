#pragma once

// A file's bytes handed over as a file is read, a few at a time: for the tests and the fuzzer that
// decode a file read so against decoding it from memory.

#include <algorithm>
#include <cstring>
#include <span>

#include "picture/dib.h"

namespace bmptest {

// Reads of `data` that hand over at most `piece` bytes a call, into the parts in turn.
inline picture::dib::BitsReader::ReadFunction PieceReader(std::span<const std::uint8_t> data,
                                                          std::size_t piece) {
  return
      [data, piece](std::uint64_t offset, std::span<const picture::dib::BitsReader::Part> parts) {
        std::size_t done = 0;
        for (const auto& part : parts) {
          if (offset + done >= data.size() || done == piece) break;
          const std::size_t n = std::min({part.size, piece - done, data.size() - (offset + done)});
          std::memcpy(part.data, data.data() + offset + done, n);
          done += n;
        }
        return done;
      };
}

}  // namespace bmptest
