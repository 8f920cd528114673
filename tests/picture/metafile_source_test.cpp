// The reads a play makes of a metafile's file: through a window, a few pages and a buffer read
// ahead, each read gives the bytes a reader of the same bytes in memory gives, wherever it falls
// against the windows and pages; bytes the file no longer has read as the end of the data; and
// what is read from the file is bounded by what is asked for, not by the size of the part.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "picture/metafile/source.h"
#include "picture/record_reader.h"

namespace {

using picture::RecordReader;
using picture::metafile::Extent;
using picture::metafile::PagedSource;
using picture::metafile::RecordFetcher;
using picture::metafile::Source;
using picture::metafile::SourceReader;

// Bytes read as a file is: not in memory, `size` of them as opened, of which only the first
// `present` are still there. Counts the reads and the bytes asked for.
class FakeFile : public Source {
 public:
  FakeFile(std::vector<std::uint8_t> bytes, std::size_t present)
      : m_bytes(std::move(bytes)), m_present(present) {}
  std::uint64_t Size() const override { return m_bytes.size(); }
  std::span<const std::uint8_t> Memory() const override { return {}; }
  std::size_t Read(std::uint64_t offset, std::span<std::uint8_t> out) const override {
    ++reads;
    asked += out.size();
    if (offset >= m_present) return 0;
    const std::size_t n = std::min<std::size_t>(out.size(), m_present - offset);
    std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
    return n;
  }
  mutable int reads = 0;
  mutable std::uint64_t asked = 0;

 private:
  std::vector<std::uint8_t> m_bytes;
  std::size_t m_present;
};

std::vector<std::uint8_t> Pattern(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  std::uint32_t seed = 17;
  for (auto& b : bytes) b = static_cast<std::uint8_t>((seed = seed * 69069 + 1) >> 24);
  return bytes;
}

constexpr std::size_t kPage = PagedSource::kPageSize;
constexpr std::size_t kSize = 3 * kPage + 100;

TEST(SourceReader, ReadsWhatAReaderOfTheBytesInMemoryReadsAcrossWindowsAndPages) {
  const std::vector<std::uint8_t> bytes = Pattern(kSize);
  const FakeFile file(bytes, kSize);
  const PagedSource paged(file);
  // Where a part starts, and the positions read in it: about the first window's end, a page's
  // end, and the end of the part.
  const struct {
    std::uint64_t partStart;
    std::vector<std::size_t> positions;
  } cases[] = {
      {0,
       {0, SourceReader::kFirstWindow - 2, SourceReader::kFirstWindow - 1, kPage - 3, kPage - 1,
        kPage, 2 * kPage - 2, kSize - 4}},
      {kPage - 5, {0, 3, 4, 5, kPage - 1, kPage + 2, kSize - kPage + 1}},
      {7, {kSize - 12, 1, 2 * kPage - 9, 0}},  // backwards too
  };
  for (const auto& c : cases) {
    const std::size_t size = kSize - static_cast<std::size_t>(c.partStart);
    SourceReader fromFile(Extent{&paged, c.partStart, size});
    RecordReader inMemory(std::span<const std::uint8_t>(bytes).subspan(c.partStart));
    for (const std::size_t at : c.positions) {
      SCOPED_TRACE(std::to_string(c.partStart) + "+" + std::to_string(at));
      fromFile.Seek(at);
      inMemory.Seek(at);
      EXPECT_EQ(fromFile.U32(), inMemory.U32());
      EXPECT_EQ(fromFile.I16(), inMemory.I16());
      EXPECT_EQ(fromFile.U8(), inMemory.U8());
      EXPECT_EQ(fromFile.Ok(), inMemory.Ok());
      EXPECT_EQ(fromFile.Position(), inMemory.Position());
      fromFile.Seek(at);
      inMemory.Seek(at);
      const std::size_t n = std::min<std::size_t>(3000, size - at);
      const auto got = fromFile.Bytes(n);
      const auto want = inMemory.Bytes(n);
      EXPECT_EQ(std::vector(got.begin(), got.end()), std::vector(want.begin(), want.end()));
      const auto at2 = fromFile.BytesAt(at / 2, n);
      const auto want2 = inMemory.At(at / 2, n);
      EXPECT_EQ(std::vector(at2.begin(), at2.end()), std::vector(want2.begin(), want2.end()));
    }
    // Past the end: nothing, and not Ok, as in memory.
    fromFile.Seek(size - 2);
    EXPECT_EQ(fromFile.U32(), 0u);
    EXPECT_FALSE(fromFile.Ok());
    EXPECT_TRUE(fromFile.BytesAt(size - 2, 3).empty());
    EXPECT_FALSE(fromFile.PartAt(size - 2, 3).has_value());
    ASSERT_TRUE(fromFile.PartAt(size - 2, 2).has_value());
    EXPECT_EQ(fromFile.PartAt(size - 2, 2)->offset, c.partStart + size - 2);
  }
}

TEST(SourceReader, BytesTheFileNoLongerHasReadAsTheEnd) {
  const std::vector<std::uint8_t> bytes = Pattern(kSize);
  constexpr std::size_t kCut = kPage + 10;
  const FakeFile file(bytes, kCut);
  const PagedSource paged(file);
  // Within what is left, the bytes; across the cut and past it, zero and not Ok.
  RecordReader m(bytes);
  m.Seek(kCut - 4);
  SourceReader fresh(Extent{&paged, 0, kSize});
  fresh.Seek(kCut - 4);
  EXPECT_EQ(fresh.U32(), m.U32());
  EXPECT_TRUE(fresh.Ok());
  EXPECT_EQ(fresh.U32(), 0u);
  EXPECT_FALSE(fresh.Ok());
  SourceReader across(Extent{&paged, 0, kSize});
  EXPECT_TRUE(across.Bytes(kCut + 1).empty());
  EXPECT_FALSE(across.Ok());
  EXPECT_TRUE(SourceReader(Extent{&paged, 0, kSize}).BytesAt(kCut - 1, 2).empty());
  // The part still reaches as far as the file did when opened: the records are checked against
  // that size, and their reads against the file.
  EXPECT_TRUE(SourceReader(Extent{&paged, 0, kSize}).PartAt(kCut, kSize - kCut).has_value());
  // The fetcher hands out what is left, and nothing past it.
  RecordFetcher records(paged);
  EXPECT_EQ(records.Fetch(kCut - 6, 8).size(), 6u);
  EXPECT_TRUE(records.Fetch(kCut, 8).empty());
  EXPECT_EQ(records.Record(kCut - 6, 8).Size(), 0u);
  EXPECT_EQ(records.Record(kCut - 8, 8).Size(), 8u);
}

TEST(SourceReader, WhatIsReadOfTheFileIsBoundedByWhatIsAsked) {
  const std::size_t size = 64 * kPage;  // 4 MB
  const FakeFile file(Pattern(size), size);
  {
    // A value at the start of a large part: one page.
    const PagedSource paged(file);
    SourceReader r(Extent{&paged, 100, size - 100});
    r.U32();
    EXPECT_LE(file.asked, kPage);
  }
  {
    // The part read through: about its size, in reads of a page at most.
    file.asked = 0;
    file.reads = 0;
    const PagedSource paged(file);
    SourceReader r(Extent{&paged, 0, size});
    while (r.Remaining() >= 4) r.U32();
    EXPECT_TRUE(r.Ok());
    EXPECT_LE(file.asked, size + 2 * kPage);
    EXPECT_LE(file.reads, static_cast<int>(size / SourceReader::kWindow) + 8);
  }
  {
    // Records of 12 bytes walked through: reads of a quarter of the fetch buffer at least.
    file.asked = 0;
    file.reads = 0;
    const PagedSource paged(file);
    RecordFetcher records(paged);
    for (std::uint64_t at = 0; at + 12 <= size; at += 12) records.Record(at, 12).U32();
    EXPECT_LE(file.reads, static_cast<int>(size / (RecordFetcher::kWholeRecord / 4)) + 2);
  }
}

}  // namespace
