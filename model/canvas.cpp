#include "model/canvas.h"

#include "model/raster_drawing.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <new>
#include <utility>

#include <system_error>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace model {
namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

// A raster this large takes ordinary pages. On a virtual machine a large page the host must
// first hand back (memory it was told is free) takes 7 to 25 ms to map instead of a few tenths:
// a 400 MB raster took 1.5 to 9.6 s in large pages against 0.15 to 0.25 s in ordinary ones.
// Below it large pages are kept for what they give when they are at hand: a 12-megapixel
// picture opens in 7.5 ms with them against 26 ms without (though a first open after a pause
// may take 0.2 to 0.6 s on such a machine).
constexpr std::size_t kOrdinaryPagesFrom = std::size_t{64} << 20;

std::size_t LargePageBytes(std::size_t bytes) {
  return (bytes + kLargePage - 1) / kLargePage * kLargePage;
}

}  // namespace

void* AllocateRaster(std::size_t bytes) {
  if (bytes < kLargePage) return ::operator new(bytes);
  void* memory = std::aligned_alloc(kLargePage, LargePageBytes(bytes));
  if (memory == nullptr) throw std::bad_alloc();
#if defined(__linux__)
  // Advice only: without large pages or with forking left as it is, the raster works the same.
  if (bytes < kOrdinaryPagesFrom) madvise(memory, LargePageBytes(bytes), MADV_HUGEPAGE);
  madvise(memory, LargePageBytes(bytes), MADV_DONTFORK);
#endif
  return memory;
}

void FreeRaster(void* memory, std::size_t bytes) {
  if (bytes < kLargePage) {
    ::operator delete(memory);
    return;
  }
#if defined(__linux__)
  // The region goes back to the heap, which may hand it to a fork again.
  madvise(memory, LargePageBytes(bytes), MADV_DOFORK);
#endif
  std::free(memory);
}

PagesAhead::PagesAhead(void* block, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  if (bytes < kFrom) return;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(block) + page - 1) / page * page;
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + bytes) / page * page;
  try {
    m_thread = std::thread([this, begin, end] {
      // A few megabytes a call, so that a stop is seen soon.
      constexpr std::uintptr_t kStep = std::uintptr_t{4} << 20;
      for (std::uintptr_t at = begin; at < end; at += kStep) {
        if (m_stop.load(std::memory_order_relaxed)) return;
        void* const range = reinterpret_cast<void*>(at);
        if (madvise(range, std::min(kStep, end - at), MADV_POPULATE_WRITE) != 0) return;
      }
      m_mapped.store(true);
    });
  } catch (const std::system_error&) {
    // No thread to spare: the caller's writes map the pages, as always.
  }
#else
  (void)block;
  (void)bytes;
#endif
}

PagesAhead::~PagesAhead() {
  m_stop.store(true, std::memory_order_relaxed);
  if (m_thread.joinable()) m_thread.join();
}

bool PagesAhead::Finish() {
  if (m_thread.joinable()) m_thread.join();
  return m_mapped.load();
}

Rect Rect::United(const Rect& other) const {
  if (other.Empty()) return *this;
  if (Empty()) return other;
  return {std::min(left, other.left), std::min(top, other.top), std::max(right, other.right),
          std::max(bottom, other.bottom)};
}

Rect Rect::Intersected(const Rect& other) const {
  Rect r{std::max(left, other.left), std::max(top, other.top), std::min(right, other.right),
         std::min(bottom, other.bottom)};
  return r.Empty() ? Rect{} : r;
}

Canvas::Canvas(int width, int height)
    : m_width(std::max(width, 0)),
      m_height(std::max(height, 0)),
      m_pixels(static_cast<std::size_t>(m_width) * m_height, kWhite | kOpaque),
      m_dirty{0, 0, m_width, m_height} {
  if (m_pixels.empty()) m_dirty = {};
}

void Canvas::MarkDirty(const Rect& r) {
  m_dirty = m_dirty.United(r.Intersected({0, 0, m_width, m_height}));
}

void Canvas::Span(int y, int x0, int x1, std::uint32_t word) {
  std::fill(Row(y) + x0, Row(y) + x1, word);
}

void Canvas::FillRect(const Rect& r, Colour c) {
  const Rect clip = r.Intersected({0, 0, m_width, m_height});
  if (clip.Empty()) return;
  const std::uint32_t word = (c & 0xFFFFFF) | kOpaque;
  for (int y = clip.top; y < clip.bottom; ++y) Span(y, clip.left, clip.right, word);
  MarkDirty(clip);
}

void Canvas::Rectangle(int left, int top, int right, int bottom) {
  drawing::Rectangle(*this, left, top, right, bottom, m_pen | kOpaque, m_brush | kOpaque);
}

void Canvas::MoveTo(int x, int y) {
  m_penX = x;
  m_penY = y;
}

void Canvas::LineTo(int x, int y) {
  drawing::Line(*this, std::exchange(m_penX, x), std::exchange(m_penY, y), x, y, m_pen | kOpaque);
}

Colour Canvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return kInvalidColour;
  return Row(y)[x] & 0xFFFFFF;
}

void Canvas::SetPixel(int x, int y, Colour c) {
  if (x < 0 || y < 0 || x >= m_width || y >= m_height) return;
  Row(y)[x] = (c & 0xFFFFFF) | kOpaque;
  MarkDirty({x, y, x + 1, y + 1});
}

}  // namespace model
