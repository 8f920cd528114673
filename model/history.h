#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "model/canvas.h"
#include "model/pixel_store.h"

namespace model {

// The picture's size, which a step restores along with its pixels. The scale is a way of
// looking at the picture, not part of it, and is never undone.
struct PictureSize {
  std::uint16_t width = 84;
  std::uint16_t height = 48;
  friend bool operator==(const PictureSize&, const PictureSize&) = default;
};

// One change to the picture: the pixels it flipped and the size before and after it. A pixel
// holds 0 or 1, so the same set of flips takes the picture back and forth.
//
// The flips are kept in the smaller of two forms: a list of store indices (4 bytes a pixel, for
// strokes and other small edits) or one bit for each of the store's 76800 pixels (9600 bytes, for
// a cleared or imported picture). No step holds more than about 9.6 KB.
class HistoryStep {
 public:
  HistoryStep(std::vector<std::uint32_t> flipped, PictureSize before, PictureSize after);

  PictureSize Before() const { return m_before; }
  PictureSize After() const { return m_after; }
  // Number of pixels the step flips.
  std::size_t PixelCount() const { return m_count; }
  // The smallest rectangle of pixels (x from left to right - 1, y from top to bottom - 1) that
  // holds every pixel the step flips; empty when it flips none.
  Rect Area() const { return m_area; }
  // Memory the step holds, its own object included.
  std::size_t Bytes() const;

  // Flips every pixel of the step in `store`.
  void Flip(PixelStore& store) const;

  // Calls visit(x, y) for every pixel the step flips, column by column, top to bottom.
  template <class Visit>
  void ForEachPixel(Visit visit) const {
    ForEachIndex([&visit](int i) { visit(i / PixelStore::kStride, i % PixelStore::kStride); });
  }

 private:
  // Calls visit(i) for the store index of every pixel the step flips, in ascending order.
  template <class Visit>
  void ForEachIndex(Visit visit) const {
    for (const std::uint32_t i : m_indices) visit(static_cast<int>(i));
    for (std::size_t word = 0; word < m_bits.size(); ++word) {
      for (std::uint64_t bits = m_bits[word]; bits != 0; bits &= bits - 1) {
        visit(static_cast<int>(word * 64) + __builtin_ctzll(bits));
      }
    }
  }

  std::vector<std::uint32_t> m_indices;  // ascending; empty when m_bits is used
  std::vector<std::uint64_t> m_bits;     // bit i for store index i; empty when m_indices is used
  std::size_t m_count = 0;
  Rect m_area;
  PictureSize m_before;
  PictureSize m_after;
};

// The undo history of the picture. It keeps a copy of the picture as last recorded; Commit
// compares the picture with it and records the difference as one step. Undo and Redo move along
// the steps, changing the store they are given and the recorded copy alike.
//
// At most kMaxSteps steps are kept; recording one more drops the oldest. Recording a step after
// an undo drops every step that could have been redone.
//
// The history also knows whether the picture differs from the last one saved (or the first one
// recorded): each recorded state carries a number, and going back to the saved state's number
// by undo or redo counts as unchanged.
class History {
 public:
  static constexpr std::size_t kMaxSteps = 100;

  // Records `store` and `size` as the starting state: nothing to undo or redo, unmodified.
  History(const PixelStore& store, PictureSize size);

  // Records the difference between the recorded state and `store` / `size` as one step, and
  // returns true. Returns false and records nothing when they are the same.
  bool Commit(const PixelStore& store, PictureSize size);

  bool CanUndo() const { return m_position > 0; }
  bool CanRedo() const { return m_position < m_steps.size(); }
  std::size_t UndoCount() const { return m_position; }
  std::size_t RedoCount() const { return m_steps.size() - m_position; }

  // Takes `store` back by one step and returns that step (its Before() is now the size); null
  // when there is nothing to undo. `store` must hold the recorded state (commit first).
  const HistoryStep* Undo(PixelStore& store);
  // Takes `store` forward by one undone step and returns it (its After() is now the size); null
  // when there is nothing to redo.
  const HistoryStep* Redo(PixelStore& store);

  // The recorded state: what Commit compares with.
  const PixelStore& Recorded() const { return *m_recorded; }
  PictureSize RecordedSize() const { return m_size; }

  // Whether the recorded state differs from the one last marked saved.
  bool Modified() const { return StateId() != m_savedId; }
  void MarkSaved() { m_savedId = StateId(); }

  // Memory held by the steps.
  std::size_t Bytes() const;

 private:
  std::uint64_t StateId() const { return m_position == 0 ? m_baseId : m_ids[m_position - 1]; }

  std::unique_ptr<PixelStore> m_recorded;
  PictureSize m_size;
  std::deque<HistoryStep> m_steps;
  std::deque<std::uint64_t> m_ids;  // m_ids[i]: the number of the state after m_steps[i]
  std::size_t m_position = 0;       // steps applied; those from here on can be redone
  std::uint64_t m_baseId = 0;       // the number of the state before m_steps[0]
  std::uint64_t m_nextId = 1;
  std::uint64_t m_savedId = 0;
};

}  // namespace model
