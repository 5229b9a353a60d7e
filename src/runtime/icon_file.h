// Reading .ico files: the directory of images, and the pixels of 32-bit bitmap images.
//
// Toolkit-free and portable; a backend turns the decoded pixels into its own image type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pelorin::runtime {

// One image of an icon file, as its directory entry and image header describe it.
struct IconImage {
  int width = 0;           // pixels; a directory width of 0 stands for 256
  int height = 0;          // pixels of the picture, not the doubled bitmap height
  int bits_per_pixel = 0;  // of the bitmap, or of the PNG stream's pixel format
  std::size_t offset = 0;  // where the image's bytes start in the file
  std::size_t size = 0;    // how many bytes they take
  bool png = false;        // stored as a PNG stream instead of a bitmap
};

// The images of an icon file in directory order, or nothing when the file is malformed: a header
// that is not an icon's, no entries, an entry outside the file or over the directory, a PNG
// stream without its IHDR chunk, or a bitmap whose header disagrees with its entry (header size
// 40, width, twice the height, one plane, bit count, no compression) or whose bytes are not
// exactly header, palette, pixels and mask.
std::optional<std::vector<IconImage>> parse_icon_file(std::span<const std::uint8_t> file);

// The pixels of a 32-bit bitmap image as 0xAARRGGBB, top row first, `width` pixels a row. The
// alpha channel gives the transparency; only when every alpha is 0 does the mask give it instead
// (mask bit set: transparent). Empty for a PNG image, another bit depth, or an image that does
// not lie whole inside `file`.
std::vector<std::uint32_t> decode_argb(std::span<const std::uint8_t> file, const IconImage& image);

}  // namespace pelorin::runtime
