#include "picture/metafile/metafile_picture.h"

#include <unistd.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <new>
#include <vector>

#include "picture/bitmap_picture.h"
#include "picture/decoders.h"

namespace picture {

namespace metafile {

void MetafilePicture::StretchDraw(model::Canvas& canvas, const model::Rect& dest) const {
  try {
    Play(canvas, dest);
  } catch (const std::bad_alloc&) {
    // No part of a picture is shown: what the play drew before it failed is wiped.
    const model::Rect clip = dest.Intersected({0, 0, canvas.Width(), canvas.Height()});
    if (!clip.Empty()) {
      canvas.FillRect(clip, model::kWhite);
      canvas.MarkDirty(clip);
    }
    throw LoadError(kNotEnoughMemory);
  }
}

Budget MetafilePicture::Play(model::Canvas& canvas, const model::Rect& dest,
                             std::optional<Budget> start) const {
  const model::Rect clip = dest.Intersected({0, 0, canvas.Width(), canvas.Height()});
  Budget budget = start.value_or(Budget(std::int64_t{clip.Width()} * clip.Height()));
  if (clip.Empty()) return budget;
  // What the metafile leaves unpainted is white, not what the raster held before.
  canvas.FillRect(clip, model::kWhite);
  QImage target(reinterpret_cast<uchar*>(canvas.Bits()), canvas.Width(), canvas.Height(),
                canvas.BytesPerLine(), QImage::Format_RGBX8888);
  {
    QPainter painter(&target);
    const QRect clipRect(clip.left, clip.top, clip.Width(), clip.Height());
    painter.setClipRect(clipRect);
    const QRectF& f = m_frame.device;
    QTransform deviceToDest;
    deviceToDest.translate(dest.left, dest.top);
    deviceToDest.scale(dest.Width() / f.width(), dest.Height() / f.height());
    deviceToDest.translate(-f.left(), -f.top());
    gdi::Player player(painter, deviceToDest, clipRect, m_frame.pixelsPerMm, budget);
    // Read afresh at every play: a file changed since the last one plays as it is now.
    const PagedSource source(*m_source);
    if (m_format == Format::kEmf) {
      PlayEmf(source, player, budget);
    } else {
      PlayWmf(source, player, m_frame, budget);
    }
  }
  // Raster operations may have touched the unused byte: the canvas keeps it 0xFF.
  for (int y = clip.top; y < clip.bottom; ++y) {
    std::uint32_t* row = canvas.Row(y);
    for (int x = clip.left; x < clip.right; ++x) row[x] |= model::Canvas::kOpaque;
  }
  canvas.MarkDirty(clip);
  return budget;
}

}  // namespace metafile

namespace {

// Either kind of metafile is read whatever the extension says: the contents decide.
std::unique_ptr<Picture> MetafileOf(std::unique_ptr<const metafile::Source> source) {
  using metafile::MetafilePicture;
  const metafile::PagedSource paged(*source);
  if (const auto frame = metafile::EmfFrame(paged)) {
    return std::make_unique<MetafilePicture>(MetafilePicture::Format::kEmf, std::move(source),
                                             *frame);
  }
  if (const auto frame = metafile::WmfFrame(paged)) {
    return std::make_unique<MetafilePicture>(MetafilePicture::Format::kWmf, std::move(source),
                                             *frame);
  }
  throw LoadError("Metafile is not valid");
}

FileBytes Copy(std::span<const std::uint8_t> file) {
  FileBytes bytes;
  bytes.assign(file.begin(), file.end());
  return bytes;
}

}  // namespace

std::unique_ptr<Picture> DecodeMetafile(FileBytes&& file) {
  if (file.empty()) return std::make_unique<BitmapPicture>(model::Bitmap());
  return MetafileOf(std::make_unique<metafile::MemorySource>(std::move(file)));
}

std::unique_ptr<Picture> OpenMetafile(int fd, std::uint64_t size) {
  // Owned from the start, so that the descriptor is closed on every way out.
  std::unique_ptr<const metafile::Source> source;
  try {
    source = std::make_unique<metafile::FileSource>(fd, size);
  } catch (...) {
    ::close(fd);
    throw;
  }
  return MetafileOf(std::move(source));
}

std::unique_ptr<Picture> DecodeWmf(std::span<const std::uint8_t> file) {
  return DecodeMetafile(Copy(file));
}

std::unique_ptr<Picture> DecodeEmf(std::span<const std::uint8_t> file) {
  return DecodeMetafile(Copy(file));
}

}  // namespace picture
