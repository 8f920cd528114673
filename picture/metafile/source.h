#pragma once

// Where a play reads a metafile's bytes: memory, or the file the metafile was loaded from, kept
// open and read a piece at a time as the records are played, so that a play holds a fixed amount
// of a file however large the file is. Every read is checked: a file cut shorter since it was
// opened reads as far as it goes, and what is missing reads as the end of the data, as a file cut
// short does.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "picture/loader.h"

namespace picture::metafile {

class Source {
 public:
  virtual ~Source() = default;
  // How many bytes there are: for a file, its size when it was opened. A file is never read past
  // it, so that a file growing meanwhile plays as it was.
  virtual std::uint64_t Size() const = 0;
  // All of the bytes, where they are, when they are in memory; empty for a file.
  virtual std::span<const std::uint8_t> Memory() const = 0;
  // Copies the bytes from `offset` on into `out` and gives how many: fewer only where the source
  // ends, or where a file was cut shorter since it was opened or cannot be read.
  virtual std::size_t Read(std::uint64_t offset, std::span<std::uint8_t> out) const = 0;
};

// Bytes in memory: a view of bytes that must outlive it, or bytes it keeps.
class MemorySource final : public Source {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : m_view(bytes) {}
  explicit MemorySource(FileBytes bytes) : m_kept(std::move(bytes)), m_view(m_kept) {}
  MemorySource(const MemorySource&) = delete;
  MemorySource& operator=(const MemorySource&) = delete;

  std::uint64_t Size() const override { return m_view.size(); }
  std::span<const std::uint8_t> Memory() const override { return m_view; }
  std::size_t Read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

 private:
  FileBytes m_kept;
  std::span<const std::uint8_t> m_view;
};

// A file open for reading, closed with the source.
class FileSource final : public Source {
 public:
  // Takes `fd`, open on a file of `size` bytes.
  FileSource(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::uint64_t Size() const override { return m_size; }
  std::span<const std::uint8_t> Memory() const override { return {}; }
  std::size_t Read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

 private:
  int m_fd;
  std::uint64_t m_size;
};

// A source read through a few pages of it kept in memory, for one play: the many small reads of
// a play (a list's first entries, a record's fields) cost no system call each, and larger reads
// go to the source. Each play makes its own, so that a play reads the file as it is then. A
// source in memory is read where it is.
class PagedSource final : public Source {
 public:
  static constexpr std::size_t kPageSize = std::size_t{64} << 10;
  static constexpr std::size_t kPages = 8;

  // `source` must outlive it.
  explicit PagedSource(const Source& source) : m_source(source) {}
  PagedSource(const PagedSource&) = delete;
  PagedSource& operator=(const PagedSource&) = delete;

  std::uint64_t Size() const override { return m_source.Size(); }
  std::span<const std::uint8_t> Memory() const override { return m_source.Memory(); }
  std::size_t Read(std::uint64_t offset, std::span<std::uint8_t> out) const override;

 private:
  struct Page {
    std::uint64_t index = ~std::uint64_t{0};  // of the page in the source; none yet
    std::size_t size = 0;                     // bytes read: fewer than a page where it ends
    std::uint64_t used = 0;                   // when last read, for choosing the page to reuse
    std::unique_ptr<std::uint8_t[]> bytes;
  };
  // The page numbered `index`, read unless it is kept.
  const Page& PageNumbered(std::uint64_t index) const;

  const Source& m_source;
  mutable std::array<Page, kPages> m_pages;
  mutable std::uint64_t m_clock = 0;
};

// A part of a source: `size` bytes from `offset`, which the source held when the part was made.
// The source must outlive it.
struct Extent {
  const Source* source = nullptr;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// Little-endian reads of a part of a source, as RecordReader reads a span: a read past the end
// yields zero and sets `Ok()` false, and so does a read of bytes the source no longer has (a file
// cut short). The bytes of a source in memory are read where they are; those of a file through a
// window of at most kWindow bytes, or from `ready`, the part's first bytes, when its maker has
// them in memory already.
class SourceReader {
 public:
  static constexpr std::size_t kFirstWindow = std::size_t{4} << 10;
  static constexpr std::size_t kWindow = PagedSource::kPageSize;

  SourceReader() = default;
  // `ready` must outlive the reader.
  explicit SourceReader(const Extent& extent, std::span<const std::uint8_t> ready = {});
  SourceReader(SourceReader&&) = default;
  SourceReader& operator=(SourceReader&&) = default;

  std::size_t Size() const { return m_size; }
  std::size_t Position() const { return m_pos; }
  std::size_t Remaining() const { return m_pos < m_size ? m_size - m_pos : 0; }
  bool Ok() const { return m_ok; }

  void Seek(std::size_t pos) {
    if (pos > m_size) m_ok = false;
    m_pos = pos;
  }
  void Skip(std::size_t n) { Seek(n > Remaining() ? m_size + 1 : m_pos + n); }

  std::uint8_t U8() { return static_cast<std::uint8_t>(Take(1)); }
  std::uint16_t U16() { return static_cast<std::uint16_t>(Take(2)); }
  std::int16_t I16() { return static_cast<std::int16_t>(Take(2)); }
  std::uint32_t U32() { return static_cast<std::uint32_t>(Take(4)); }
  std::int32_t I32() { return static_cast<std::int32_t>(Take(4)); }
  float F32();

  // `n` bytes from the current position; an empty span (and !Ok()) when fewer remain. Bytes not
  // in memory are copied, and kept for as long as the reader: the records ask for few.
  std::span<const std::uint8_t> Bytes(std::size_t n);
  // The bytes from `offset` to `offset + n` of the whole part, as Bytes gives them; an empty span
  // when that runs outside the part. Does not move the position.
  std::span<const std::uint8_t> BytesAt(std::uint64_t offset, std::uint64_t n);
  // The next `n` bytes as a part of the source, which is not read; none (and !Ok()) when fewer
  // remain.
  std::optional<Extent> Part(std::uint64_t n);
  // The bytes from `offset` to `offset + n` of the whole part as a part of the source; none when
  // that runs outside it. Does not move the position.
  std::optional<Extent> PartAt(std::uint64_t offset, std::uint64_t n) const;

 private:
  std::uint64_t Take(std::size_t n) {
    if (n <= Remaining()) {
      if (m_pos >= m_readyAt && m_pos - m_readyAt + n <= m_ready.size()) {
        const std::uint8_t* p = m_ready.data() + (m_pos - m_readyAt);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i) v |= std::uint64_t{p[i]} << (8 * i);
        m_pos += n;
        return v;
      }
      if (Refill(n)) return Take(n);
    }
    m_ok = false;
    m_pos = m_size;
    return 0;
  }
  // Reads the window from the position on; false when fewer than `n` bytes could be read there.
  bool Refill(std::size_t n);

  Extent m_extent;
  std::size_t m_size = 0;
  std::size_t m_pos = 0;
  bool m_ok = true;
  std::span<const std::uint8_t> m_base;   // the first bytes of the part, kept where they are
  std::span<const std::uint8_t> m_ready;  // m_base, or what the window holds
  std::size_t m_readyAt = 0;              // the position of m_ready's first byte
  std::unique_ptr<std::uint8_t[]> m_window;
  std::size_t m_windowSize = 0;
  std::vector<std::vector<std::uint8_t>> m_copies;  // the bytes Bytes copied
};

// The records of a source in order, each handed out from memory: where the bytes are for a
// source in memory, else from a buffer read ahead in large pieces, so that a walk through
// millions of small records makes few reads of the file.
class RecordFetcher {
 public:
  // The most bytes fetched at once: larger records are read a window at a time.
  static constexpr std::size_t kWholeRecord = std::size_t{1} << 20;

  explicit RecordFetcher(const Source& source) : m_source(source) {}

  // The `n` bytes (at most kWholeRecord) from `offset`; fewer, or none, where the source ends.
  // Valid until the next call.
  std::span<const std::uint8_t> Fetch(std::uint64_t offset, std::size_t n);
  // A reader of the record of `size` bytes at `offset`, its first kWholeRecord bytes fetched;
  // an empty reader (of size 0) when the source no longer has them. Valid until the next call.
  SourceReader Record(std::uint64_t offset, std::uint64_t size);

 private:
  const Source& m_source;
  std::unique_ptr<std::uint8_t[]> m_buffer;
  std::size_t m_capacity = 0;
  std::uint64_t m_at = 0;  // the offset of the buffer's first byte
  std::size_t m_have = 0;  // bytes in the buffer
};

}  // namespace picture::metafile
