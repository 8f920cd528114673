#include "picture/metafile/objects.h"

#include <algorithm>

#include "picture/metafile/budget.h"

namespace picture::metafile {

namespace {

// The stock objects that GetStockObject hands out, by index.
Object StockObject(std::uint32_t index) {
  auto brush = [](std::uint32_t style, gdi::ColourRef c) {
    gdi::Brush b;
    b.style = style;
    b.colour = c;
    return b;
  };
  auto pen = [](std::uint32_t style, gdi::ColourRef c) {
    gdi::Pen p;
    p.style = style;
    p.colour = c;
    return p;
  };
  switch (index) {
    case 0:
      return brush(gdi::kBsSolid, 0xFFFFFF);
    case 1:
      return brush(gdi::kBsSolid, 0xC0C0C0);
    case 2:
      return brush(gdi::kBsSolid, 0x808080);
    case 3:
      return brush(gdi::kBsSolid, 0x404040);
    case 4:
      return brush(gdi::kBsSolid, 0x000000);
    case 5:
      return brush(gdi::kBsNull, 0);
    case 6:
      return pen(gdi::kPsSolid, 0xFFFFFF);
    case 7:
      return pen(gdi::kPsSolid, 0x000000);
    case 8:
      return pen(gdi::kPsNull, 0);
    case 10:
    case 11:
    case 12:
    case 13:
    case 14:
    case 16:
    case 17: {
      gdi::Font f;
      f.face = index == 10 || index == 11 || index == 16 ? QStringLiteral("Monospace")
                                                         : QStringLiteral("Sans Serif");
      return f;
    }
    case 18:
      return brush(gdi::kBsSolid, 0xFFFFFF);  // DC_BRUSH
    case 19:
      return pen(gdi::kPsSolid, 0x000000);  // DC_PEN
    default:
      return std::monostate{};
  }
}

}  // namespace

ObjectTable::ObjectTable(std::size_t size) : m_slots(std::min(size, kMaxObjects)) {}

void ObjectTable::Add(Object object) {
  std::uint32_t slot = m_neverUsed;
  if (!m_freed.empty()) {
    slot = m_freed.top();
    m_freed.pop();
  } else if (m_neverUsed < m_slots) {
    ++m_neverUsed;
  } else {
    return;
  }
  m_objects[slot] = std::move(object);
}

void ObjectTable::Put(std::uint32_t index, Object object) {
  if (index == 0 || (index & emf::kStockObject)) return;
  if (m_objects.size() >= kMaxObjects && !m_objects.contains(index)) return;
  m_objects[index] = std::move(object);
}

void ObjectTable::Delete(std::uint32_t index) {
  if (index & emf::kStockObject) return;
  if (m_objects.erase(index) != 0 && index < m_neverUsed) m_freed.push(index);
}

const Object* ObjectTable::Find(std::uint32_t index) {
  if (index & emf::kStockObject) {
    m_stock = StockObject(index & ~emf::kStockObject);
    return &m_stock;
  }
  const auto it = m_objects.find(index);
  return it == m_objects.end() ? nullptr : &it->second;
}

const Object* ObjectTable::Select(std::uint32_t index, gdi::Player& player) {
  const Object* o = Find(index);
  if (!o) return nullptr;
  if (const auto* pen = std::get_if<gdi::Pen>(o)) player.SelectPen(*pen);
  if (const auto* brush = std::get_if<gdi::Brush>(o)) player.SelectBrush(*brush);
  if (const auto* font = std::get_if<gdi::Font>(o)) player.SelectFont(*font);
  if (const auto* region = std::get_if<Region>(o)) {
    player.SelectClipRegion(&region->rects, false, gdi::kRgnCopy);
  }
  return o;
}

gdi::Font ReadLogFont(SourceReader& r, bool wide) {
  const auto field = [&r, wide] { return wide ? r.I32() : r.I16(); };
  gdi::Font font;
  font.height = field();
  font.width = field();
  font.escapement = field();
  field();  // orientation
  font.weight = field();
  font.italic = r.U8();
  font.underline = r.U8();
  font.strikeOut = r.U8();
  font.charset = r.U8();
  r.Skip(4);  // precisions, quality, pitch and family
  if (wide) {
    const QString name = Utf16Le(r.Bytes(64));
    font.face = name.left(name.indexOf(QChar(0)));  // all of it when there is no NUL
  } else {
    const auto face = r.Bytes(std::min<std::size_t>(32, r.Remaining()));
    std::size_t length = 0;
    while (length < face.size() && face[length] != 0) ++length;
    font.face = gdi::DecodeAnsi(face.data(), length, font.charset);
  }
  return font;
}

QString Utf16Le(std::span<const std::uint8_t> bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size() / 2));
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.append(QChar(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8)));
  }
  return text;
}

}  // namespace picture::metafile
