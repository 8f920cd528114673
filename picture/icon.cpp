#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include <zlib.h>

#include "picture/bitmap_picture.h"
#include "picture/decoders.h"
#include "picture/dib.h"
#include "picture/qt_image.h"
#include "picture/record_reader.h"

namespace picture {

namespace {

constexpr const char* kNotValid = "Icon image is not valid";
constexpr std::size_t kDirectoryHeader = 6;
constexpr std::size_t kDirectoryEntry = 16;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// One directory entry, measured from its image data rather than from the directory, whose
// sizes and depths producers often leave at 0.
struct Entry {
  std::span<const std::uint8_t> data;
  int width = 0;
  int height = 0;
  int depth = 0;  // bits a pixel
  bool png = false;
};

std::uint32_t Be32(std::span<const std::uint8_t> data, std::size_t at) {
  return std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
         std::uint32_t{data[at + 2]} << 8 | data[at + 3];
}

bool IsPng(std::span<const std::uint8_t> data) {
  return data.size() >= 8 &&
         std::equal(std::begin(kPngSignature), std::end(kPngSignature), data.begin());
}

std::optional<Entry> Measure(std::span<const std::uint8_t> data) {
  Entry e;
  e.data = data;
  if (IsPng(data)) {
    // IHDR: width and height big-endian at 16 and 20, bit depth at 24, colour type at 25.
    if (data.size() < 26) return std::nullopt;
    const std::uint32_t w = Be32(data, 16);
    const std::uint32_t h = Be32(data, 20);
    if (w == 0 || h == 0 || w > kMaxIconSide || h > kMaxIconSide) return std::nullopt;
    static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int type = data[25];
    e.width = static_cast<int>(w);
    e.height = static_cast<int>(h);
    e.depth = data[24] * (type <= 6 ? kChannels[type] : 1);
    e.png = true;
    return e;
  }
  try {
    dib::Options options;
    options.iconMask = true;
    const dib::Info info = dib::ParseInfo(data, options);
    if (info.width > kMaxIconSide || info.height > kMaxIconSide) return std::nullopt;
    e.width = info.width;
    e.height = info.height;
    e.depth = info.bitCount;
    return e;
  } catch (const LoadError&) {
    return std::nullopt;
  }
}

// Whether a PNG entry's image data is a zlib stream that inflates to exactly the bytes its rows
// need and ends there, with a good checksum. Its compressed size must stay within zlib's bound
// for those bytes, and it is inflated no further than they reach (and one byte more, which tells
// data beyond the rows), so a few kilobytes that would inflate to gigabytes cost little. Counts
// the bytes inflated into `work`.
bool PngDataFits(std::span<const std::uint8_t> png, IconWork& work) {
  // The signature, then chunks of a 4-byte length, a 4-byte type, the data and a 4-byte CRC,
  // IHDR first.
  std::size_t at = 8;
  if (png.size() < at + 8 + 13 || Be32(png, at) != 13 ||
      !std::equal(png.begin() + 12, png.begin() + 16, "IHDR")) {
    return false;
  }
  const std::uint64_t need = PngRowBytes(Be32(png, 16), Be32(png, 20), png[24], png[25], png[28]);
  if (need == 0 || png[26] != 0 || png[27] != 0) return false;
  // The image data, in the order of its chunks, each as far as the entry holds it.
  const std::uint64_t bound = compressBound(static_cast<uLong>(need));
  std::vector<std::span<const std::uint8_t>> data;
  std::uint64_t compressed = 0;
  while (at + 8 <= png.size()) {
    const std::uint32_t length = Be32(png, at);
    const auto type = png.subspan(at + 4, 4);
    const std::size_t start = at + 8;
    const std::size_t held = std::min<std::uint64_t>(length, png.size() - start);
    if (std::equal(type.begin(), type.end(), "IDAT")) {
      data.push_back(png.subspan(start, held));
      compressed += held;
      if (compressed > bound) return false;
    } else if (std::equal(type.begin(), type.end(), "IEND")) {
      break;
    }
    if (held < length) break;
    at = start + held + 4;
  }

  z_stream z{};
  if (inflateInit(&z) != Z_OK) return false;
  std::array<Bytef, 1 << 15> sink;
  std::uint64_t inflated = 0;
  int status = Z_OK;
  for (std::size_t i = 0; i < data.size() && status == Z_OK; ++i) {
    // Compressed sizes stay within the bound of a few megabytes, so each fits a uInt.
    z.next_in = const_cast<Bytef*>(data[i].data());
    z.avail_in = static_cast<uInt>(data[i].size());
    while (status == Z_OK && z.avail_in > 0) {
      // Up to the rows' end, then one byte beyond it: inflated, it is data the rows do not take.
      const std::uint64_t room = inflated < need ? need - inflated : 1;
      z.next_out = sink.data();
      z.avail_out = static_cast<uInt>(std::min<std::uint64_t>(room, sink.size()));
      const uInt before = z.avail_out;
      status = inflate(&z, Z_NO_FLUSH);
      inflated += before - z.avail_out;
      // With input and room left inflate always moves on; no progress is a broken stream.
      if (status == Z_BUF_ERROR) status = Z_DATA_ERROR;
      if (inflated > need) status = Z_DATA_ERROR;
    }
  }
  inflateEnd(&z);
  work.bytesInflated += inflated;
  // Anything but the stream's end right after the rows: a bad checksum, a stream cut short or
  // ending early, or data beyond the rows.
  return status == Z_STREAM_END && inflated == need;
}

model::Bitmap DecodePngEntry(const Entry& e, IconWork& work) {
  if (!PngDataFits(e.data, work)) throw LoadError(kNotValid);
  QByteArray bytes(reinterpret_cast<const char*>(e.data.data()),
                   static_cast<qsizetype>(e.data.size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "png");
  const QSize size = reader.size();
  if (!size.isValid() || size.width() > kMaxIconSide || size.height() > kMaxIconSide) {
    throw LoadError(kNotValid);
  }
  QImage image;
  if (!reader.read(&image)) throw LoadError(kNotValid);
  model::Bitmap bitmap = BitmapOverWhite(image);
  // An icon's PNG entry is a colour picture whatever its depth.
  bitmap.SetTwoColour(false);
  return bitmap;
}

// A DIB entry drawn on white: a pixel the AND mask marks transparent is white, whatever colour
// the colour bitmap holds under it (producers keep the picture's colour there). A 32-bit entry
// uses its alpha channel instead, unless every alpha is zero.
model::Bitmap DecodeDibEntry(const Entry& e) {
  dib::Options options;
  options.iconMask = true;
  const dib::Info info = dib::ParseInfo(e.data, options);
  if (info.tableEnd > e.data.size()) throw LoadError(kNotValid);
  const auto bits = e.data.subspan(static_cast<std::size_t>(info.tableEnd));
  dib::Image image = dib::DecodeBits(info, bits);
  model::Bitmap& bitmap = image.bitmap;
  const int w = bitmap.Width();
  const int h = bitmap.Height();

  std::vector<std::uint8_t> alpha;
  if (info.bitCount == 32 && info.compression == dib::kRgb) {
    alpha.assign(static_cast<std::size_t>(w) * h, 0);
    const std::size_t stride = info.Stride();
    bool any = false;
    for (int y = 0; y < h; ++y) {
      const std::size_t row = static_cast<std::size_t>(info.topDown ? y : h - 1 - y);
      for (int x = 0; x < w; ++x) {
        const std::size_t at = row * stride + static_cast<std::size_t>(x) * 4 + 3;
        const std::uint8_t a = at < bits.size() ? bits[at] : 0;
        alpha[static_cast<std::size_t>(y) * w + x] = a;
        any = any || a != 0;
      }
    }
    if (!any) alpha.clear();
  }
  bool twoColour = bitmap.TwoColour();
  for (int y = 0; y < h; ++y) {
    model::Colour* row = bitmap.Row(y);
    for (int x = 0; x < w; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * w + x;
      if (!alpha.empty()) {
        row[x] = OverWhite(row[x], alpha[i]);
      } else if (i < image.mask.size() && image.mask[i]) {
        row[x] = model::kWhite;
      }
      twoColour = twoColour && (row[x] == model::kBlack || row[x] == model::kWhite);
    }
  }
  bitmap.SetTwoColour(twoColour);
  return std::move(bitmap);
}

}  // namespace

std::unique_ptr<Picture> DecodeIcon(std::span<const std::uint8_t> file) {
  IconWork work;
  return DecodeIconCounting(file, work);
}

std::unique_ptr<Picture> DecodeIconCounting(std::span<const std::uint8_t> file, IconWork& work) {
  work = {};
  if (file.empty()) return std::make_unique<BitmapPicture>(model::Bitmap());
  RecordReader r(file);
  const std::uint16_t reserved = r.U16();
  const std::uint16_t type = r.U16();  // 1 icon, 2 cursor
  const std::uint16_t count = r.U16();
  if (!r.Ok() || reserved != 0 || (type != 1 && type != 2) || count == 0 ||
      kDirectoryHeader + std::size_t{count} * kDirectoryEntry > file.size()) {
    throw LoadError(kNotValid);
  }
  std::vector<Entry> entries;
  for (std::size_t i = 0; i < count; ++i) {
    r.Seek(kDirectoryHeader + i * kDirectoryEntry + 8);
    const std::uint32_t size = r.U32();
    const std::uint32_t offset = r.U32();
    if (offset >= file.size() || offset < kDirectoryHeader) continue;
    // An entry cut short by the end of the file keeps what is there.
    const auto data = file.subspan(offset, std::min<std::size_t>(size, file.size() - offset));
    if (auto e = Measure(data)) entries.push_back(*e);
  }
  // The largest entry, and among those the deepest; the first of equals.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    const std::int64_t areaA = std::int64_t{a.width} * a.height;
    const std::int64_t areaB = std::int64_t{b.width} * b.height;
    return areaA != areaB ? areaA > areaB : a.depth > b.depth;
  });
  // An entry that turns out unreadable gives way to the next best.
  const std::size_t tries = std::min<std::size_t>(entries.size(), kMaxIconTries);
  for (const Entry& e : std::span(entries).first(tries)) {
    ++work.entriesDecoded;
    try {
      model::Bitmap bitmap = e.png ? DecodePngEntry(e, work) : DecodeDibEntry(e);
      if (!bitmap.Empty()) return std::make_unique<BitmapPicture>(std::move(bitmap));
    } catch (const LoadError&) {
    }
  }
  throw LoadError(kNotValid);
}

std::uint64_t PngRowBytes(std::uint32_t width, std::uint32_t height, int bitDepth, int colourType,
                          int interlace) {
  int channels = 0;
  bool depthFits = false;
  switch (colourType) {
    case 0:  // grey
      channels = 1;
      depthFits =
          bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
      break;
    case 3:  // palette
      channels = 1;
      depthFits = bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
      break;
    case 2:  // RGB
    case 4:  // grey and alpha
    case 6:  // RGBA
      channels = colourType == 2 ? 3 : colourType == 4 ? 2 : 4;
      depthFits = bitDepth == 8 || bitDepth == 16;
      break;
    default:
      break;
  }
  if (!depthFits || interlace > 1) return 0;
  const std::uint64_t bitsPerPixel = std::uint64_t(channels) * bitDepth;
  auto pass = [&](std::uint32_t x0, std::uint32_t y0, std::uint32_t dx, std::uint32_t dy) {
    if (width <= x0 || height <= y0) return std::uint64_t{0};
    const std::uint64_t w = (width - x0 + dx - 1) / dx;
    const std::uint64_t h = (height - y0 + dy - 1) / dy;
    return h * (1 + (w * bitsPerPixel + 7) / 8);
  };
  if (interlace == 0) return pass(0, 0, 1, 1);
  return pass(0, 0, 8, 8) + pass(4, 0, 8, 8) + pass(0, 4, 4, 8) + pass(2, 0, 4, 4) +
         pass(0, 2, 2, 4) + pass(1, 0, 2, 2) + pass(0, 1, 1, 2);
}

}  // namespace picture
