#include "runtime/icon_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <vector>

namespace pelorin::runtime {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kTraySize = 99678;
constexpr int kSizes[] = {128, 64, 48, 32, 16};

Bytes read_source_file(const std::string& relative) {
  std::ifstream in(std::string(PELORIN_SOURCE_DIR) + "/" + relative, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void poke16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v & 0xff);
  b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xff);
}

void poke32(Bytes& b, std::size_t at, std::uint32_t v) {
  poke16(b, at, v & 0xffff);
  poke16(b, at + 2, v >> 16);
}

std::uint32_t peek32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::size_t entry_at(std::size_t i) {
  return 6 + 16 * i;
}
std::size_t image_at(const Bytes& b, std::size_t i) {
  return peek32(b, entry_at(i) + 12);
}

// Both checked-in icons: five uncompressed 32-bit images, largest first, packed one after another
// right behind the directory.
TEST(IconFile, CheckedInIconsHaveTheFiveSizesBackToBack) {
  for (const char* name : {"data/icons/tray.ico", "data/icons/pelorin.ico"}) {
    SCOPED_TRACE(name);
    const Bytes file = read_source_file(name);
    ASSERT_FALSE(file.empty());
    const auto images = parse_icon_file(file);
    ASSERT_TRUE(images.has_value());
    ASSERT_EQ(images->size(), std::size(kSizes));
    std::size_t next = entry_at(images->size());
    for (std::size_t i = 0; i < images->size(); ++i) {
      const IconImage& image = (*images)[i];
      SCOPED_TRACE(kSizes[i]);
      EXPECT_EQ(image.width, kSizes[i]);
      EXPECT_EQ(image.height, kSizes[i]);
      EXPECT_EQ(image.bits_per_pixel, 32);
      EXPECT_FALSE(image.png);
      EXPECT_EQ(image.offset, next);
      next = image.offset + image.size;
    }
    EXPECT_EQ(next, file.size());
  }
}

TEST(IconFile, TrayIconIsExactlyTheEmbeddedSize) {
  EXPECT_EQ(read_source_file("data/icons/tray.ico").size(), kTraySize);
}

// Every image decodes to its full pixel count, with opaque pixels and transparent corners. The
// tray icon is amber and the program icon blue, so a swapped red and blue shows up here.
TEST(IconFile, CheckedInIconsDecodeWithTheirColours) {
  struct Case {
    const char* file;
    bool corners_clear;  // the disc leaves its corners fully transparent
    bool amber;          // red over blue; otherwise blue over red
  };
  const Case cases[] = {
      {"data/icons/tray.ico", true, true},
      {"data/icons/pelorin.ico", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Bytes file = read_source_file(c.file);
    const auto images = parse_icon_file(file);
    ASSERT_TRUE(images.has_value());
    for (const IconImage& image : *images) {
      SCOPED_TRACE(image.width);
      const auto pixels = decode_argb(file, image);
      const std::size_t w = static_cast<std::size_t>(image.width);
      ASSERT_EQ(pixels.size(), w * w);
      int opaque = 0, amber = 0, blue = 0;
      for (std::uint32_t p : pixels) {
        if (p >> 24 != 0xff) continue;
        ++opaque;
        const std::uint32_t r = (p >> 16) & 0xff, b = p & 0xff;
        if (r > b + 64) ++amber;
        if (b > r + 64) ++blue;
      }
      EXPECT_GT(opaque, 0);
      EXPECT_GT(c.amber ? amber : blue, opaque / 2);
      for (std::size_t corner : {std::size_t{0}, w - 1, w * (w - 1), w * w - 1}) {
        const std::uint32_t alpha = pixels[corner] >> 24;
        if (c.corners_clear) {
          EXPECT_EQ(alpha, 0u) << "corner " << corner;
        } else {
          EXPECT_LT(alpha, 0xffu) << "corner " << corner;
        }
      }
    }
  }
}

TEST(IconFile, TraySixteenHasOpaqueAndClearPixels) {
  const Bytes file = read_source_file("data/icons/tray.ico");
  const auto images = parse_icon_file(file);
  ASSERT_TRUE(images.has_value());
  ASSERT_EQ(images->size(), 5u);
  const IconImage& small = images->back();
  ASSERT_EQ(small.width, 16);
  const auto pixels = decode_argb(file, small);
  ASSERT_EQ(pixels.size(), 256u);
  int opaque = 0, clear = 0;
  for (std::uint32_t p : pixels) {
    opaque += (p >> 24) == 0xff;
    clear += (p >> 24) == 0;
  }
  EXPECT_GT(opaque, 100);  // the disc fills most of the square
  EXPECT_GT(clear, 0);
  EXPECT_EQ(pixels[0] >> 24, 0u);
  EXPECT_EQ(pixels[255] >> 24, 0u);
}

// A 2x2 icon written out by hand: the pixels are BGRA, bottom row first, then the mask rows
// (bottom first, padded to four bytes), so the decoder's row order and channel order are checked
// against bytes no other code produced.
Bytes tiny_icon(const Bytes& pixels, const Bytes& mask) {
  Bytes b = {0,  0, 1, 0, 1, 0,                                     // icon directory: one image
             2,  2, 0, 0, 1, 0, 32, 0, 64, 0, 0, 0, 22, 0, 0,  0,   // 2x2, 32 bpp, 64 bytes at 22
             40, 0, 0, 0, 2, 0, 0,  0, 4,  0, 0, 0, 1,  0, 32, 0};  // header: 40, 2, 2x2, 1, 32
  b.resize(b.size() + 24, 0);                                       // BI_RGB and the rest zero
  b.insert(b.end(), pixels.begin(), pixels.end());
  b.insert(b.end(), mask.begin(), mask.end());
  return b;
}

TEST(IconFile, DecodesTopRowFirstAsArgb) {
  struct Case {
    const char* name;
    Bytes pixels;  // bottom row first, BGRA
    Bytes mask;    // bottom row first
    std::vector<std::uint32_t> want;
  };
  const Case cases[] = {
      {"alpha channel used, mask ignored",
       {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
       {0xc0, 0, 0, 0, 0xc0, 0, 0, 0},
       {0x0c0b0a09, 0x100f0e0d, 0x04030201, 0x08070605}},
      {"no alpha anywhere: the mask decides",
       {1, 2, 3, 0, 5, 6, 7, 0, 9, 10, 11, 0, 13, 14, 15, 0},
       {0x80, 0, 0, 0, 0x40, 0, 0, 0},
       {0xff0b0a09, 0x000f0e0d, 0x00030201, 0xff070605}},
      {"one alpha set: the mask is ignored",
       {1, 2, 3, 0, 5, 6, 7, 0, 9, 10, 11, 0, 13, 14, 15, 1},
       {0, 0, 0, 0, 0, 0, 0, 0},
       {0x000b0a09, 0x010f0e0d, 0x00030201, 0x00070605}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = tiny_icon(c.pixels, c.mask);
    const auto images = parse_icon_file(file);
    ASSERT_TRUE(images.has_value());
    ASSERT_EQ(images->size(), 1u);
    EXPECT_EQ(decode_argb(file, images->front()), c.want);
  }
}

TEST(IconFile, ReadsPngEntriesFromTheirHeader) {
  Bytes file = {0, 0, 1, 0, 1, 0};                                          // one image
  const Bytes entry = {0, 0, 0, 0, 1, 0, 32, 0, 33, 0, 0, 0, 22, 0, 0, 0};  // 33 bytes at 22
  const Bytes png = {0x89, 'P', 'N', 'G',  0x0d, 0x0a, 0x1a, 0x0a,          // signature
                     0,    0,   0,   13,   'I',  'H',  'D',  'R',   // first chunk: IHDR, 13 bytes
                     0,    0,   1,   0x2c, 0,    0,    0,    0xc8,  // 300 x 200
                     8,    6,   0,   0,    0,                       // 8 bits, RGBA
                     0,    0,   0,   0};                            // CRC, not checked
  file.insert(file.end(), entry.begin(), entry.end());
  file.insert(file.end(), png.begin(), png.end());
  const auto images = parse_icon_file(file);
  ASSERT_TRUE(images.has_value());
  ASSERT_EQ(images->size(), 1u);
  const IconImage& image = images->front();
  EXPECT_TRUE(image.png);
  EXPECT_EQ(image.width, 300);
  EXPECT_EQ(image.height, 200);
  EXPECT_EQ(image.bits_per_pixel, 32);
  EXPECT_EQ(image.offset, 22u);
  EXPECT_EQ(image.size, 33u);
  EXPECT_TRUE(decode_argb(file, image).empty());  // PNG decoding is the toolkit's job

  file[34] = 'X';  // IHDR is no longer the first chunk
  EXPECT_FALSE(parse_icon_file(file).has_value());
}

// Changes to the tray icon; each either breaks it or leaves it readable.
TEST(IconFile, RejectsMalformedFiles) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> change;
    bool valid;
  };
  const auto last = std::size(kSizes) - 1;  // the 16 px image
  const Case cases[] = {
      {"unchanged", [](Bytes&) {}, true},
      {"empty", [](Bytes& b) { b.clear(); }, false},
      {"shorter than the directory header", [](Bytes& b) { b.resize(4); }, false},
      {"truncated inside the entries", [](Bytes& b) { b.resize(entry_at(2) + 3); }, false},
      {"truncated by one byte", [](Bytes& b) { b.pop_back(); }, false},
      {"truncated to the first image", [&](Bytes& b) { b.resize(image_at(b, 1)); }, false},
      {"trailing bytes after the images", [](Bytes& b) { b.push_back(0); }, true},
      {"zero entries", [](Bytes& b) { poke16(b, 4, 0); }, false},
      {"more entries than the file holds", [](Bytes& b) { poke16(b, 4, 7000); }, false},
      {"fewer entries than written", [](Bytes& b) { poke16(b, 4, 2); }, true},
      {"reserved word set", [](Bytes& b) { poke16(b, 0, 1); }, false},
      {"cursor, not icon", [](Bytes& b) { poke16(b, 2, 2); }, false},
      {"entry pointing outside",
       [&](Bytes& b) { poke32(b, entry_at(last) + 12, static_cast<std::uint32_t>(b.size())); },
       false},
      {"entry offset wrapping round",
       [&](Bytes& b) { poke32(b, entry_at(last) + 12, 0xfffffff0u); }, false},
      {"entry size running past the end",
       [&](Bytes& b) { poke32(b, entry_at(last) + 8, peek32(b, entry_at(last) + 8) + 1); }, false},
      {"entry one byte short",
       [&](Bytes& b) { poke32(b, entry_at(last) + 8, peek32(b, entry_at(last) + 8) - 1); }, false},
      {"entry pointing into the directory", [](Bytes& b) { poke32(b, entry_at(0) + 12, 6); },
       false},
      {"entry width disagrees", [](Bytes& b) { b[entry_at(0)] = 127; }, false},
      {"entry height disagrees", [](Bytes& b) { b[entry_at(0) + 1] = 64; }, false},
      {"entry bit count disagrees", [](Bytes& b) { poke16(b, entry_at(1) + 6, 24); }, false},
      {"entry bit count left 0", [](Bytes& b) { poke16(b, entry_at(1) + 6, 0); }, true},
      {"wrong header size 12", [&](Bytes& b) { poke32(b, image_at(b, last), 12); }, false},
      {"wrong header size 108", [&](Bytes& b) { poke32(b, image_at(b, last), 108); }, false},
      {"bitmap width disagrees", [&](Bytes& b) { poke32(b, image_at(b, last) + 4, 15); }, false},
      {"bitmap height not doubled", [&](Bytes& b) { poke32(b, image_at(b, last) + 8, 16); }, false},
      {"two planes", [&](Bytes& b) { poke16(b, image_at(b, last) + 12, 2); }, false},
      {"wrong bit count 24", [&](Bytes& b) { poke16(b, image_at(b, 2) + 14, 24); }, false},
      {"bit count 24 on both sides",
       [&](Bytes& b) {
         poke16(b, entry_at(2) + 6, 24);
         poke16(b, image_at(b, 2) + 14, 24);
       },
       false},  // the bytes are those of a 32-bit image
      {"impossible bit count",
       [&](Bytes& b) {
         poke16(b, entry_at(2) + 6, 0);
         poke16(b, image_at(b, 2) + 14, 7);
       },
       false},
      {"compressed", [&](Bytes& b) { poke32(b, image_at(b, last) + 16, 3); }, false},
      {"palette on a 32-bit image", [&](Bytes& b) { poke32(b, image_at(b, last) + 32, 1); }, false},
  };
  const Bytes tray = read_source_file("data/icons/tray.ico");
  ASSERT_EQ(tray.size(), kTraySize);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes file = tray;
    c.change(file);
    EXPECT_EQ(parse_icon_file(file).has_value(), c.valid);
  }
}

// The decoder keeps inside the block it is given even when handed an image that does not fit
// it. Cut blocks are views into the whole file, so reading past their end would find real pixels.
TEST(IconFile, DecodeRefusesImagesThatDoNotFit) {
  const Bytes file = read_source_file("data/icons/tray.ico");
  const auto images = parse_icon_file(file);
  ASSERT_TRUE(images.has_value());
  const IconImage good = images->back();
  const std::size_t end = good.offset + good.size;
  struct Case {
    const char* name;
    std::function<void(IconImage&)> change;
    std::size_t block;  // how much of the file the decoder sees
  };
  const Case cases[] = {
      {"block ends one byte early", [](IconImage&) {}, end - 1},
      {"block ends at the image's start", [](IconImage&) {}, good.offset},
      {"block ends before the image", [](IconImage&) {}, good.offset - 1},
      {"offset beyond the block", [&](IconImage& i) { i.offset = file.size() + 1; }, file.size()},
      {"size disagrees with the width", [](IconImage& i) { i.width = 17; }, file.size()},
      {"not 32 bits", [](IconImage& i) { i.bits_per_pixel = 24; }, file.size()},
      {"png", [](IconImage& i) { i.png = true; }, file.size()},
      {"no pixels", [](IconImage& i) { i.width = i.height = 0; }, file.size()},
  };
  ASSERT_EQ(decode_argb(std::span(file).first(end), good).size(), 256u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IconImage image = good;
    c.change(image);
    EXPECT_TRUE(decode_argb(std::span(file).first(c.block), image).empty());
  }
}

}  // namespace
}  // namespace pelorin::runtime
