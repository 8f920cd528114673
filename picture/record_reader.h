#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace picture {

// Little-endian reads from a span of untrusted bytes. A read past the end yields zero and sets
// `Ok()` false, so record decoders read every field first and check once; nothing ever reads
// outside the span.
class RecordReader {
 public:
  explicit RecordReader(std::span<const std::uint8_t> data) : m_data(data) {}

  std::size_t Size() const { return m_data.size(); }
  std::size_t Position() const { return m_pos; }
  std::size_t Remaining() const { return m_pos < m_data.size() ? m_data.size() - m_pos : 0; }
  bool Ok() const { return m_ok; }

  void Seek(std::size_t pos) {
    if (pos > m_data.size()) m_ok = false;
    m_pos = pos;
  }
  void Skip(std::size_t n) { Seek(n > Remaining() ? m_data.size() + 1 : m_pos + n); }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Take(2)); }
  std::int16_t I16() { return static_cast<std::int16_t>(Take(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Take(4)); }
  std::int32_t I32() { return static_cast<std::int32_t>(Take(4)); }
  float F32() {
    const std::uint32_t bits = U32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
  }

  // `n` bytes from the current position; an empty span (and !Ok()) when fewer remain.
  std::span<const std::uint8_t> Bytes(std::size_t n) {
    if (n > Remaining()) {
      m_ok = false;
      return {};
    }
    auto out = m_data.subspan(m_pos, n);
    m_pos += n;
    return out;
  }

  // The bytes from `offset` to `offset + n` of the whole span, or an empty span when that runs
  // outside it. Does not move the position.
  std::span<const std::uint8_t> At(std::uint64_t offset, std::uint64_t n) const {
    if (offset > m_data.size() || n > m_data.size() - offset) return {};
    return m_data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(n));
  }

 private:
  std::uint64_t Take(std::size_t n) {
    if (n > Remaining()) {
      m_ok = false;
      m_pos = m_data.size();
      return 0;
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{m_data[m_pos + i]} << (8 * i);
    m_pos += n;
    return v;
  }

  std::span<const std::uint8_t> m_data;
  std::size_t m_pos = 0;
  bool m_ok = true;
};

}  // namespace picture
