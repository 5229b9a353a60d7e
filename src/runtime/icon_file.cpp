#include "runtime/icon_file.h"

#include <array>

namespace pelorin::runtime {

namespace {

constexpr std::size_t kDirectorySize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};

std::uint32_t u16le(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t u32le(std::span<const std::uint8_t> b, std::size_t at) {
  return u16le(b, at) | (u16le(b, at + 2) << 16);
}

std::uint32_t u32be(std::span<const std::uint8_t> b, std::size_t at) {
  return (static_cast<std::uint32_t>(b[at]) << 24) | (static_cast<std::uint32_t>(b[at + 1]) << 16) |
         (static_cast<std::uint32_t>(b[at + 2]) << 8) | b[at + 3];
}

// Bytes of one bitmap row of `width` pixels at `bits` per pixel, padded to four bytes.
std::uint64_t row_bytes(std::uint64_t width, std::uint64_t bits) {
  return (width * bits + 31) / 32 * 4;
}

// Fills in size and depth of a PNG stream from its IHDR chunk, the first chunk of every stream.
bool read_png(std::span<const std::uint8_t> data, IconImage& image) {
  constexpr std::size_t kIhdrEnd = 8 + 8 + 13;
  if (data.size() < kIhdrEnd) return false;
  for (std::size_t i = 0; i < kPngSignature.size(); ++i) {
    if (data[i] != kPngSignature[i]) return false;
  }
  if (u32be(data, 8) != 13 || data[12] != 'I' || data[13] != 'H' || data[14] != 'D' ||
      data[15] != 'R') {
    return false;
  }
  const std::uint32_t width = u32be(data, 16);
  const std::uint32_t height = u32be(data, 20);
  if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff) return false;
  int channels = 0;
  switch (data[25]) {  // colour type
    case 0:
      channels = 1;
      break;  // grey
    case 2:
      channels = 3;
      break;  // RGB
    case 3:
      channels = 1;
      break;  // palette index
    case 4:
      channels = 2;
      break;  // grey and alpha
    case 6:
      channels = 4;
      break;  // RGBA
    default:
      return false;
  }
  image.width = static_cast<int>(width);
  image.height = static_cast<int>(height);
  image.bits_per_pixel = channels * data[24];
  image.png = true;
  return true;
}

// Checks a bitmap image against its directory entry and fills in its depth.
bool read_bitmap(std::span<const std::uint8_t> data, std::uint32_t entry_bits, IconImage& image) {
  if (data.size() < kInfoHeaderSize) return false;
  if (u32le(data, 0) != kInfoHeaderSize) return false;
  const std::uint32_t bi_width = u32le(data, 4);
  const std::uint32_t bi_height = u32le(data, 8);
  const std::uint32_t planes = u16le(data, 12);
  const std::uint32_t bits = u16le(data, 14);
  const std::uint32_t compression = u32le(data, 16);
  const std::uint32_t colours_used = u32le(data, 32);
  if (bi_width != static_cast<std::uint32_t>(image.width) ||
      bi_height != 2 * static_cast<std::uint32_t>(image.height) || planes != 1 ||
      compression != kBiRgb) {
    return false;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  if (entry_bits != 0 && entry_bits != bits) return false;
  std::uint64_t palette = 0;
  if (bits <= 8) {
    const std::uint32_t most = 1u << bits;
    if (colours_used > most) return false;
    palette = colours_used != 0 ? colours_used : most;
  } else if (colours_used != 0) {
    return false;
  }
  const std::uint64_t w = bi_width;
  const std::uint64_t h = image.height;
  const std::uint64_t expected =
      kInfoHeaderSize + 4 * palette + row_bytes(w, bits) * h + row_bytes(w, 1) * h;
  if (expected != data.size()) return false;
  image.bits_per_pixel = static_cast<int>(bits);
  image.png = false;
  return true;
}

}  // namespace

std::optional<std::vector<IconImage>> parse_icon_file(std::span<const std::uint8_t> file) {
  if (file.size() < kDirectorySize) return std::nullopt;
  if (u16le(file, 0) != 0 || u16le(file, 2) != 1) return std::nullopt;  // reserved, type 1: icon
  const std::size_t count = u16le(file, 4);
  const std::size_t directory_end = kDirectorySize + count * kEntrySize;
  if (count == 0 || file.size() < directory_end) return std::nullopt;

  std::vector<IconImage> images;
  images.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t entry = kDirectorySize + i * kEntrySize;
    IconImage image;
    image.width = file[entry] == 0 ? 256 : file[entry];
    image.height = file[entry + 1] == 0 ? 256 : file[entry + 1];
    const std::uint32_t entry_bits = u16le(file, entry + 6);
    const std::uint64_t size = u32le(file, entry + 8);
    const std::uint64_t offset = u32le(file, entry + 12);
    if (offset < directory_end || offset + size > file.size()) return std::nullopt;
    image.offset = static_cast<std::size_t>(offset);
    image.size = static_cast<std::size_t>(size);
    const auto data = file.subspan(image.offset, image.size);
    const bool is_png = data.size() >= kPngSignature.size() && data[0] == kPngSignature[0];
    if (!(is_png ? read_png(data, image) : read_bitmap(data, entry_bits, image))) {
      return std::nullopt;
    }
    images.push_back(image);
  }
  return images;
}

std::vector<std::uint32_t> decode_argb(std::span<const std::uint8_t> file, const IconImage& image) {
  if (image.png || image.bits_per_pixel != 32 || image.width <= 0 || image.height <= 0 ||
      image.width > 256 || image.height > 256 || image.offset > file.size() ||
      image.size > file.size() - image.offset) {
    return {};
  }
  const std::size_t w = static_cast<std::size_t>(image.width);
  const std::size_t h = static_cast<std::size_t>(image.height);
  const std::size_t pixel_row = w * 4;
  const std::size_t mask_row = static_cast<std::size_t>(row_bytes(w, 1));
  if (image.size != kInfoHeaderSize + pixel_row * h + mask_row * h) return {};
  const auto data = file.subspan(image.offset, image.size);
  if (u32le(data, 0) != kInfoHeaderSize || u16le(data, 14) != 32) return {};
  const auto pixels = data.subspan(kInfoHeaderSize, pixel_row * h);
  const auto mask = data.subspan(kInfoHeaderSize + pixel_row * h);

  // Rows are stored bottom-up; the result is top-down.
  std::vector<std::uint32_t> out(w * h);
  bool any_alpha = false;
  for (std::size_t y = 0; y < h; ++y) {
    const auto row = pixels.subspan((h - 1 - y) * pixel_row, pixel_row);
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint32_t b = row[4 * x];
      const std::uint32_t g = row[4 * x + 1];
      const std::uint32_t r = row[4 * x + 2];
      const std::uint32_t a = row[4 * x + 3];
      any_alpha = any_alpha || a != 0;
      out[y * w + x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  if (!any_alpha) {
    // An image without alpha: the mask marks the transparent pixels, all others are opaque.
    for (std::size_t y = 0; y < h; ++y) {
      const auto row = mask.subspan((h - 1 - y) * mask_row, mask_row);
      for (std::size_t x = 0; x < w; ++x) {
        const bool transparent = (row[x / 8] >> (7 - x % 8)) & 1;
        if (!transparent) out[y * w + x] |= 0xff000000u;
      }
    }
  }
  return out;
}

}  // namespace pelorin::runtime
