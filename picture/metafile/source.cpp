#include "picture/metafile/source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace picture::metafile {

std::size_t MemorySource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (offset >= m_view.size()) return 0;
  const auto n =
      static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_view.size() - offset));
  std::memcpy(out.data(), m_view.data() + offset, n);
  return n;
}

FileSource::~FileSource() {
  ::close(m_fd);
}

std::size_t FileSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (offset >= m_size) return 0;
  out = out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), m_size - offset)));
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n =
        ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    // The end of the file, or a read that fails: what is missing reads as the end of the data.
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

const PagedSource::Page& PagedSource::PageNumbered(std::uint64_t index) const {
  Page* page = &m_pages[0];
  for (Page& p : m_pages) {
    if (p.index == index) {
      p.used = ++m_clock;
      return p;
    }
    if (p.used < page->used) page = &p;
  }
  if (!page->bytes) page->bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kPageSize);
  page->index = index;
  page->size = m_source.Read(index * kPageSize, {page->bytes.get(), kPageSize});
  page->used = ++m_clock;
  return *page;
}

std::size_t PagedSource::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (out.size() >= kPageSize || !m_source.Memory().empty()) return m_source.Read(offset, out);
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const Page& page = PageNumbered(at / kPageSize);
    const auto inPage = static_cast<std::size_t>(at % kPageSize);
    if (inPage >= page.size) break;  // the source ends there
    const std::size_t n = std::min(out.size() - done, page.size - inPage);
    std::memcpy(out.data() + done, page.bytes.get() + inPage, n);
    done += n;
  }
  return done;
}

SourceReader::SourceReader(const Extent& extent, std::span<const std::uint8_t> ready)
    : m_extent(extent), m_size(static_cast<std::size_t>(extent.size)) {
  const std::span<const std::uint8_t> memory =
      extent.source != nullptr ? extent.source->Memory() : std::span<const std::uint8_t>();
  if (!memory.empty()) {
    // Parts are made within their source; the part of one that is not reads as cut short.
    const auto offset =
        static_cast<std::size_t>(std::min<std::uint64_t>(extent.offset, memory.size()));
    m_base = memory.subspan(offset, std::min(m_size, memory.size() - offset));
  } else {
    m_base = ready.first(std::min(ready.size(), m_size));
  }
  m_ready = m_base;
}

float SourceReader::F32() {
  const std::uint32_t bits = U32();
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

bool SourceReader::Refill(std::size_t n) {
  if (m_extent.source == nullptr) return false;
  // The window grows as it is refilled: a list whose first entries are all that is read costs a
  // small read, one read through costs reads of a page.
  const std::size_t capacity = std::min(kWindow, std::max(kFirstWindow, m_windowSize * 2));
  if (capacity > m_windowSize) {
    m_window = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    m_windowSize = capacity;
  }
  const std::size_t wanted = std::min(m_windowSize, Remaining());
  const std::size_t got = m_extent.source->Read(m_extent.offset + m_pos, {m_window.get(), wanted});
  m_ready = {m_window.get(), got};
  m_readyAt = m_pos;
  return got >= n;
}

std::span<const std::uint8_t> SourceReader::Bytes(std::size_t n) {
  if (n > Remaining()) {
    m_ok = false;
    return {};
  }
  const auto bytes = BytesAt(m_pos, n);
  if (bytes.size() != n) {
    m_ok = false;
    m_pos = m_size;
    return {};
  }
  m_pos += n;
  return bytes;
}

std::span<const std::uint8_t> SourceReader::BytesAt(std::uint64_t offset, std::uint64_t n) {
  if (offset > m_size || n > m_size - offset) return {};
  if (offset + n <= m_base.size()) {
    return m_base.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(n));
  }
  if (m_extent.source == nullptr) return {};
  std::vector<std::uint8_t> copy(static_cast<std::size_t>(n));
  if (m_extent.source->Read(m_extent.offset + offset, copy) != copy.size()) return {};
  return m_copies.emplace_back(std::move(copy));
}

std::optional<Extent> SourceReader::Part(std::uint64_t n) {
  if (n > Remaining()) {
    m_ok = false;
    return std::nullopt;
  }
  const Extent part{m_extent.source, m_extent.offset + m_pos, n};
  m_pos += static_cast<std::size_t>(n);
  return part;
}

std::optional<Extent> SourceReader::PartAt(std::uint64_t offset, std::uint64_t n) const {
  if (offset > m_size || n > m_size - offset) return std::nullopt;
  return Extent{m_extent.source, m_extent.offset + offset, n};
}

std::span<const std::uint8_t> RecordFetcher::Fetch(std::uint64_t offset, std::size_t n) {
  const std::span<const std::uint8_t> memory = m_source.Memory();
  const std::uint64_t size = m_source.Size();
  if (offset >= size) return {};
  n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset));
  if (!memory.empty()) return memory.subspan(static_cast<std::size_t>(offset), n);
  if (offset < m_at || offset - m_at + n > m_have) {
    // Read ahead in pieces of a quarter of the buffer at least, the buffer no larger than the file.
    constexpr std::size_t kReadAhead = kWholeRecord / 4;
    if (!m_buffer) {
      m_capacity = static_cast<std::size_t>(std::min<std::uint64_t>(kWholeRecord, size));
      m_buffer = std::make_unique_for_overwrite<std::uint8_t[]>(m_capacity);
    }
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
        std::max(n, kReadAhead), std::min<std::uint64_t>(m_capacity, size - offset)));
    m_at = offset;
    m_have = m_source.Read(offset, {m_buffer.get(), wanted});
  }
  const std::size_t start = static_cast<std::size_t>(offset - m_at);
  return {m_buffer.get() + start, std::min(n, m_have - start)};
}

SourceReader RecordFetcher::Record(std::uint64_t offset, std::uint64_t size) {
  const auto whole = static_cast<std::size_t>(std::min<std::uint64_t>(size, kWholeRecord));
  const std::span<const std::uint8_t> ready = Fetch(offset, whole);
  if (ready.size() < whole) return {};
  return SourceReader({&m_source, offset, size}, ready);
}

}  // namespace picture::metafile
