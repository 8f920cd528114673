#pragma once

// What the records of both metafile formats create and select: the object table, and the
// LOGFONT and text readers they share.

#include <QString>
#include <cstdint>
#include <functional>
#include <queue>
#include <span>
#include <unordered_map>
#include <variant>
#include <vector>

#include "picture/metafile/emf_records.h"
#include "picture/metafile/gdi.h"
#include "picture/metafile/player.h"
#include "picture/metafile/source.h"

namespace picture::metafile {

// A region object (WMF): rectangles in logical units, read from the record that created it.
struct Region {
  gdi::RegionRects rects;
};
// Objects that only hold a slot in the table (palettes, bitmaps).
struct Placeholder {};
using Object = std::variant<std::monostate, gdi::Pen, gdi::Brush, gdi::Font, Region, Placeholder>;

// The objects a play has created, by index. A WMF record puts its object in the lowest free
// slot (Add); an EMF record names the index (Put). Indices with emf::kStockObject name stock
// objects, which are always there.
class ObjectTable {
 public:
  // `size`: how many objects Add may hold at once (at most kMaxObjects).
  explicit ObjectTable(std::size_t size);

  // Into the lowest free slot; dropped when every slot is taken.
  void Add(Object object);
  // Under `index`; dropped for index 0, a stock index, or a new index with the table full.
  void Put(std::uint32_t index, Object object);
  // Frees `index`; stock objects stay.
  void Delete(std::uint32_t index);
  // The object under `index`, or null.
  const Object* Find(std::uint32_t index);
  template <typename T>
  const T* Get(std::uint32_t index) {
    const Object* o = Find(index);
    return o ? std::get_if<T>(o) : nullptr;
  }
  // Selects the object under `index` into `player`: a pen, a brush, a font, or a region as the
  // clipping region (in logical units). The object, or null when there is none.
  const Object* Select(std::uint32_t index, gdi::Player& player);

 private:
  std::unordered_map<std::uint32_t, Object> m_objects;
  Object m_stock;
  std::size_t m_slots;
  // The free slots for Add: those deleted (lowest on top), and every slot from m_neverUsed on.
  // Kept so that an Add costs no search of a table that a file can fill with 65535 objects.
  std::priority_queue<std::uint32_t, std::vector<std::uint32_t>, std::greater<>> m_freed;
  std::uint32_t m_neverUsed = 0;
};

// A LOGFONT from the reader's position. `wide`: an EMF's LOGFONTW (32-bit fields, a face of 32
// UTF-16 units); otherwise a WMF's (16-bit fields, a face of up to 32 bytes in the font's
// character set, which the record may cut short). The records' minimum sizes cover the fields
// before the face.
gdi::Font ReadLogFont(SourceReader& r, bool wide);

// UTF-16LE code units as text.
QString Utf16Le(std::span<const std::uint8_t> bytes);

}  // namespace picture::metafile
