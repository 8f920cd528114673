#include "model/history.h"

#include <algorithm>
#include <utility>

namespace model {
namespace {

constexpr std::size_t kStorePixels = std::size_t{PixelStore::kColumns} * PixelStore::kRows;
constexpr std::size_t kBitWords = kStorePixels / 64;
static_assert(kStorePixels % 64 == 0, "a step's bits fill whole words");

}  // namespace

HistoryStep::HistoryStep(std::vector<std::uint32_t> flipped, PictureSize before, PictureSize after)
    : m_count(flipped.size()), m_before(before), m_after(after) {
  if (!flipped.empty()) {
    // Ascending indices run column by column: the first and last give the columns.
    int top = PixelStore::kRows;
    int bottom = 0;
    for (const std::uint32_t i : flipped) {
      const int y = static_cast<int>(i) % PixelStore::kStride;
      top = std::min(top, y);
      bottom = std::max(bottom, y + 1);
    }
    m_area = {static_cast<int>(flipped.front()) / PixelStore::kStride, top,
              static_cast<int>(flipped.back()) / PixelStore::kStride + 1, bottom};
  }
  if (flipped.size() * sizeof(std::uint32_t) <= kBitWords * sizeof(std::uint64_t)) {
    m_indices = std::move(flipped);
    m_indices.shrink_to_fit();
    return;
  }
  m_bits.assign(kBitWords, 0);
  for (const std::uint32_t i : flipped) m_bits[i / 64] |= std::uint64_t{1} << (i % 64);
}

std::size_t HistoryStep::Bytes() const {
  return sizeof(HistoryStep) + m_indices.capacity() * sizeof(std::uint32_t) +
         m_bits.capacity() * sizeof(std::uint64_t);
}

void HistoryStep::Flip(PixelStore& store) const {
  if (!m_bits.empty()) {
    for (std::size_t i = 0; i < kStorePixels; ++i)
      if (m_bits[i / 64] >> (i % 64) & 1) store.FlipAt(static_cast<int>(i));
    return;
  }
  for (const std::uint32_t i : m_indices) store.FlipAt(static_cast<int>(i));
}

History::History(const PixelStore& store, PictureSize size)
    : m_recorded(std::make_unique<PixelStore>(store)), m_size(size) {}

bool History::Commit(const PixelStore& store, PictureSize size) {
  const auto& now = store.Raw();
  const auto& then = m_recorded->Raw();
  std::vector<std::uint32_t> flipped;
  for (std::size_t i = 0; i < kStorePixels; ++i) {
    if (now[i] != then[i]) flipped.push_back(static_cast<std::uint32_t>(i));
  }
  if (flipped.empty() && size == m_size) return false;

  // A new step ends every branch that could have been redone.
  m_steps.erase(m_steps.begin() + static_cast<std::ptrdiff_t>(m_position), m_steps.end());
  m_ids.erase(m_ids.begin() + static_cast<std::ptrdiff_t>(m_position), m_ids.end());
  if (m_steps.size() == kMaxSteps) {
    m_baseId = m_ids.front();
    m_steps.pop_front();
    m_ids.pop_front();
  }
  m_steps.emplace_back(std::move(flipped), m_size, size);
  m_ids.push_back(m_nextId++);
  m_position = m_steps.size();
  *m_recorded = store;
  m_size = size;
  return true;
}

const HistoryStep* History::Undo(PixelStore& store) {
  if (!CanUndo()) return nullptr;
  const HistoryStep& step = m_steps[--m_position];
  step.Flip(store);
  step.Flip(*m_recorded);
  m_size = step.Before();
  return &step;
}

const HistoryStep* History::Redo(PixelStore& store) {
  if (!CanRedo()) return nullptr;
  const HistoryStep& step = m_steps[m_position++];
  step.Flip(store);
  step.Flip(*m_recorded);
  m_size = step.After();
  return &step;
}

std::size_t History::Bytes() const {
  std::size_t bytes = 0;
  for (const HistoryStep& step : m_steps) bytes += step.Bytes();
  return bytes + m_ids.size() * sizeof(std::uint64_t);
}

}  // namespace model
