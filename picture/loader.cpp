#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "picture/bitmap_picture.h"
#include "picture/bmp.h"
#include "picture/decoders.h"
#include "picture/dib.h"
#include "picture/loader.h"
#include "picture/picture.h"

namespace picture {
namespace {

using Decoder = std::unique_ptr<Picture> (*)(std::span<const std::uint8_t>);
// A decoder that reads the open file itself, as far as it needs: the descriptor, the size the file
// had when opened (more than 0) and the name for messages.
using FileDecoder = std::unique_ptr<Picture> (*)(int fd, std::uint64_t size,
                                                 const std::string& fileName);
std::unique_ptr<Picture> ReadBitmapFile(int fd, std::uint64_t size, const std::string& fileName);
// The kinds Qt reads are read from the open file too, by their extension.
constexpr FileDecoder QtFileReader(std::string_view extension) {
  constexpr std::pair<std::string_view, FileDecoder> kReaders[] = {
      {"png", ReadPngFile},   {"jpg", ReadJpegFile}, {"jpeg", ReadJpegFile}, {"gif", ReadGifFile},
      {"webp", ReadWebpFile}, {"tif", ReadTiffFile}, {"tiff", ReadTiffFile}, {"tga", ReadTgaFile},
      {"pbm", ReadPbmFile},   {"pgm", ReadPgmFile},  {"ppm", ReadPpmFile},   {"xbm", ReadXbmFile},
      {"svg", ReadSvgFile},
  };
  for (const auto& [name, reader] : kReaders)
    if (name == extension) return reader;
  return nullptr;
}
// A decoder that keeps the file's bytes: they are handed over, not copied.
using KeepingDecoder = std::unique_ptr<Picture> (*)(FileBytes&& file);
// A decoder that keeps the open file and reads it whenever it needs: it takes the descriptor and
// the size the file had when opened (more than 0).
using OpeningDecoder = std::unique_ptr<Picture> (*)(int fd, std::uint64_t size);

// How a kind is read, when the file reports its size: by `readFile` or `open` when it has one.
// Otherwise the whole file, by `keep` when it has one, else by `decode`.
struct Kind {
  std::string_view extension;  // lower case
  Decoder decode;
  FileDecoder readFile = QtFileReader(extension);
  KeepingDecoder keep = nullptr;
  OpeningDecoder open = nullptr;
};

constexpr Kind kKinds[] = {
    {"bmp", DecodeBitmapFile, ReadBitmapFile},
    {"ico", DecodeIcon},
    {"wmf", DecodeWmf, nullptr, DecodeMetafile, OpenMetafile},
    {"emf", DecodeEmf, nullptr, DecodeMetafile, OpenMetafile},
    {"png", DecodePng},
    {"jpg", DecodeJpeg},
    {"jpeg", DecodeJpeg},
    {"gif", DecodeGif},
    {"webp", DecodeWebp},
    {"tif", DecodeTiff},
    {"tiff", DecodeTiff},
    {"tga", DecodeTga},
    {"pbm", DecodePbm},
    {"pgm", DecodePgm},
    {"ppm", DecodePpm},
    {"xbm", DecodeXbm},
    {"svg", DecodeSvg},
};

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

std::string FullPath(const std::string& fileName) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(fileName, error);
  return error ? fileName : full.string();
}

constexpr const char* kTooLarge = "The file is larger than 512 MB";

[[noreturn]] void CannotOpen(const std::string& fileName, const std::string& reason) {
  throw LoadError("Cannot open file \"" + FullPath(fileName) + "\". " + reason);
}

// Closes a descriptor on every way out.
class Descriptor {
 public:
  Descriptor() = default;
  ~Descriptor() { Reset(-1); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return m_fd; }
  // The descriptor, no longer closed here.
  int Release() { return std::exchange(m_fd, -1); }
  void Reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
  }

 private:
  int m_fd = -1;
};

}  // namespace

std::string FileExtension(const std::string& fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || dot < nameStart) return {};
  return fileName.substr(dot + 1);
}

std::vector<std::string> PictureExtensions() {
  std::vector<std::string> extensions;
  for (const Kind& kind : kKinds) extensions.emplace_back(kind.extension);
  return extensions;
}

namespace {

// Reads into the `count` parts at `parts`, from `offset` or where the file stands; returns how
// many bytes, 0 at the end of the file.
std::size_t ReadSome(int fd, const iovec* parts, int count, const std::string& fileName,
                     std::optional<std::uint64_t> offset = {}) {
  for (;;) {
    const ssize_t n = offset ? ::preadv(fd, parts, count, static_cast<off_t>(*offset))
                             : ::readv(fd, parts, count);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) CannotOpen(fileName, std::strerror(errno));
  }
}

// Opens a regular file of at most kMaxFileBytes for reading and returns its size as reported.
std::uint64_t OpenRegularFile(const std::string& fileName, Descriptor& file) {
  // Non-blocking, so that a named pipe cannot hang the open; regular files ignore the flag.
  file.Reset(::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.Get() < 0) CannotOpen(fileName, std::strerror(errno));
  struct stat status {};
  if (::fstat(file.Get(), &status) != 0) CannotOpen(fileName, std::strerror(errno));
  if (S_ISDIR(status.st_mode)) CannotOpen(fileName, std::strerror(EISDIR));
  if (!S_ISREG(status.st_mode)) CannotOpen(fileName, "It is not a regular file");
  if (status.st_size < 0 || static_cast<std::uint64_t>(status.st_size) > kMaxFileBytes)
    CannotOpen(fileName, kTooLarge);
  return static_cast<std::uint64_t>(status.st_size);
}

FileBytes ReadToEnd(int fd, std::uint64_t reportedSize, const std::string& fileName) {
  // The reported size is where the read starts, not where it ends: a file under /proc reports 0
  // and a file may grow or shrink meanwhile. One byte past the limit tells a file that is too
  // large from one that is exactly at it.
  constexpr std::size_t kFirstGrowth = std::size_t{64} << 10;
  FileBytes bytes;
  bytes.resize(std::max<std::size_t>(static_cast<std::size_t>(reportedSize) + 1, kFirstGrowth));
  std::size_t done = 0;
  for (;;) {
    if (done == bytes.size()) {
      if (bytes.size() > kMaxFileBytes) CannotOpen(fileName, kTooLarge);
      bytes.resize(std::min<std::size_t>(bytes.size() * 2, kMaxFileBytes + 1));
    }
    const iovec part{bytes.data() + done, bytes.size() - done};
    const std::size_t n = ReadSome(fd, &part, 1, fileName);
    if (n == 0) break;
    done += n;
  }
  bytes.resize(done);
  return bytes;
}

// A bitmap file decoded as it is read, never held whole: its bits are read straight into the
// picture. The file is read, not mapped: a mapped file that another program cuts shorter meanwhile
// would kill the process on touching the pages it lost.
std::unique_ptr<Picture> ReadBitmapFile(int fd, std::uint64_t size, const std::string& fileName) {
  dib::BitsReader reader(FileReader(fd, size, fileName));
  return std::make_unique<BitmapPicture>(DecodeBmp(size, reader));
}

}  // namespace

dib::BitsReader::ReadFunction FileReader(int fd, std::uint64_t size, const std::string& fileName) {
  return [fd, size, &fileName](std::uint64_t offset, std::span<const dib::BitsReader::Part> parts) {
    // As many parts as one call takes, cut to the size.
    std::vector<iovec> iov;
    std::uint64_t left = offset < size ? size - offset : 0;
    for (const auto& part : parts) {
      if (left == 0 || iov.size() == IOV_MAX) break;
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(part.size, left));
      iov.push_back({part.data, n});
      left -= n;
    }
    if (iov.empty()) return std::size_t{0};
    return ReadSome(fd, iov.data(), static_cast<int>(iov.size()), fileName, offset);
  };
}

FileBytes ReadWholeFile(const std::string& fileName) {
  Descriptor file;
  const std::uint64_t size = OpenRegularFile(fileName, file);
  return ReadToEnd(file.Get(), size, fileName);
}

namespace {

const Kind* KindOf(const std::string& fileName) {
  const std::string key = Lower(FileExtension(fileName));
  const auto kind = std::find_if(std::begin(kKinds), std::end(kKinds),
                                 [&](const Kind& k) { return k.extension == key; });
  return kind == std::end(kKinds) ? nullptr : kind;
}

}  // namespace

bool HasPictureExtension(const std::string& fileName) {
  return KindOf(fileName) != nullptr;
}

std::unique_ptr<Picture> LoadPicture(const std::string& fileName) {
  const Kind* kind = KindOf(fileName);
  if (kind == nullptr)
    throw LoadError("Unknown picture file extension (." + FileExtension(fileName) + ")");
  try {
    Descriptor file;
    const std::uint64_t size = OpenRegularFile(fileName, file);
    // A file that reports no size (one under /proc) is read to its end like any other kind.
    if (kind->readFile != nullptr && size > 0) return kind->readFile(file.Get(), size, fileName);
    if (kind->open != nullptr && size > 0) return kind->open(file.Release(), size);
    FileBytes bytes = ReadToEnd(file.Get(), size, fileName);
    // A zero-byte file of any kind is an empty picture, which draws nothing.
    if (bytes.empty()) return std::make_unique<BitmapPicture>(model::Bitmap());
    if (kind->keep != nullptr) return kind->keep(std::move(bytes));
    return kind->decode(bytes);
  } catch (const std::bad_alloc&) {
    // The file's bytes and any partly decoded picture are gone by now; what the caller had
    // before the load is untouched.
    throw LoadError(kNotEnoughMemory);
  }
}

}  // namespace picture
