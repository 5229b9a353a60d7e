// Draws Pelorin's two icons and writes them as .ico files.
//
// Re-run after changing a drawing, from the repository's top directory:
//   g++ -std=c++20 tools/make_icons.cpp -o /tmp/make_icons && /tmp/make_icons data/icons
// and check the outputs in (the build uses the checked-in files). It writes
//   pelorin.ico  the program icon: a blue rounded square, a white reload arrow round a globe;
//   tray.ico     the tray icon: an amber disc with a white reload arrow;
// each with 128, 64, 48, 32 and 16 pixel images in that order, stored as uncompressed 32-bit
// bitmaps with their masks. Every size is drawn on its own with geometry fitted to its pixel grid
// and 16x16 supersampling per pixel, so the small images stay sharp.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr int kSizes[] = {128, 64, 48, 32, 16};
constexpr int kSamples = 16;  // per pixel and axis

struct Colour {
  double r, g, b;
};

constexpr Colour hex(std::uint32_t rgb) {
  return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0};
}

Colour mix(Colour a, Colour b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A premultiplied sample; painting composites a colour over it.
struct Sample {
  double r = 0, g = 0, b = 0, a = 0;
  void paint(Colour c, double alpha = 1.0) {
    r = c.r * alpha + r * (1 - alpha);
    g = c.g * alpha + g * (1 - alpha);
    b = c.b * alpha + b * (1 - alpha);
    a = alpha + a * (1 - alpha);
  }
};

// Straight (not premultiplied) 8-bit RGBA, rows top-down.
struct Image {
  int size;
  std::vector<std::uint8_t> rgba;
};

// Renders `shade` (which paints one sample at image coordinates, y down, pixel units) with a box
// filter of kSamples x kSamples samples per pixel.
Image render(int size, const std::function<void(double, double, Sample&)>& shade) {
  Image img{size, std::vector<std::uint8_t>(static_cast<std::size_t>(size * size * 4))};
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Sample sum;
      for (int sy = 0; sy < kSamples; ++sy) {
        for (int sx = 0; sx < kSamples; ++sx) {
          Sample s;
          shade(px + (sx + 0.5) / kSamples, py + (sy + 0.5) / kSamples, s);
          sum.r += s.r;
          sum.g += s.g;
          sum.b += s.b;
          sum.a += s.a;
        }
      }
      const double n = kSamples * kSamples;
      const double a = sum.a / n;
      auto byte = [](double v) {
        return static_cast<std::uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
      };
      std::uint8_t* out = &img.rgba[static_cast<std::size_t>((py * size + px) * 4)];
      const std::uint8_t alpha = byte(a);
      if (alpha == 0) continue;  // fully transparent pixels stay black
      out[0] = byte(sum.r / sum.a);
      out[1] = byte(sum.g / sum.a);
      out[2] = byte(sum.b / sum.a);
      out[3] = alpha;
    }
  }
  return img;
}

// ---- Shapes. Points are (x, y) with y down; angles are in degrees, counter-clockwise as seen.

constexpr double kDeg = std::numbers::pi / 180;

struct Point {
  double x, y;
};

bool in_disc(Point p, Point c, double r) {
  const double dx = p.x - c.x, dy = p.y - c.y;
  return dx * dx + dy * dy <= r * r;
}

bool in_rounded_square(Point p, double lo, double hi, double radius) {
  const double cx = std::clamp(p.x, lo + radius, hi - radius);
  const double cy = std::clamp(p.y, lo + radius, hi - radius);
  return p.x >= lo && p.x <= hi && p.y >= lo && p.y <= hi && in_disc(p, {cx, cy}, radius);
}

// A clockwise reload arrow: a ring of mid radius `radius` and width `stroke`, running clockwise
// from `tail` degrees round to `head` degrees, where a triangular head points on clockwise.
struct Arrow {
  Point centre;
  double radius, stroke;
  double head, tail;       // degrees
  double head_half_width;  // the head's reach either side of the ring's mid line
  double head_length;      // from the ring's end to the tip, along the tangent
  bool stepped = false;    // the head as whole-pixel steps, for the tiniest size
};

bool in_arrow(Point p, const Arrow& a) {
  const double dx = p.x - a.centre.x, dy = a.centre.y - p.y;
  const double r = std::hypot(dx, dy);
  if (std::abs(r - a.radius) <= a.stroke / 2) {
    // The ring runs counter-clockwise from the head to the tail.
    double t = std::atan2(dy, dx) / kDeg - a.head;
    t = std::fmod(std::fmod(t, 360) + 360, 360);
    if (t <= std::fmod(std::fmod(a.tail - a.head, 360) + 360, 360)) return true;
  }
  // Outward normal (c, -s) and clockwise tangent (s, c), in image coordinates.
  const double c = std::cos(a.head * kDeg), s = std::sin(a.head * kDeg);
  const double bx = a.centre.x + a.radius * c, by = a.centre.y - a.radius * s;
  const double along = (p.x - bx) * s + (p.y - by) * c;
  const double across = std::abs((p.x - bx) * c - (p.y - by) * s);
  if (along < 0 || along > a.head_length) return false;
  if (a.stepped) return across <= a.head_half_width - std::floor(along);
  return across <= a.head_half_width * (1 - along / a.head_length);
}

// Blend across [from, to] in y.
Colour vertical(Colour top, Colour bottom, double y, double from, double to) {
  return mix(top, bottom, (y - from) / (to - from));
}

const Colour kWhite = hex(0xffffff);

// Both icons carry the same clockwise arrow: a ring running from 3 o'clock down through 6 and 9
// to 12 o'clock, where the head points right, into the open quarter. An upright head and ends on
// the axes put the arrow's straight edges on pixel boundaries.
constexpr double kHead = 90, kTail = 0;

// ---- The tray icon: an amber disc with a darker rim and a white clockwise arrow.

struct TrayGeometry {
  int size;
  double rim, ring_in, ring_out, head_half_width, head_length;
};

// Pixel units, fitted to each grid (the centre lies on a pixel corner).
constexpr TrayGeometry kTray[] = {
    {16, 1, 3, 5, 3, 3},         {32, 1.5, 6, 10, 6, 6},   {48, 2, 9, 15, 9, 9.5},
    {64, 2.5, 12, 20, 12, 12.5}, {128, 4, 24, 40, 24, 25},
};

Image draw_tray(int size) {
  const TrayGeometry& g = *std::find_if(std::begin(kTray), std::end(kTray),
                                        [&](const TrayGeometry& t) { return t.size == size; });
  const double s = size;
  const Point c{s / 2, s / 2};
  const Arrow arrow{c,
                    (g.ring_in + g.ring_out) / 2,
                    g.ring_out - g.ring_in,
                    kHead,
                    kTail,
                    g.head_half_width,
                    g.head_length,
                    size == 16};
  const bool shadow = size >= 48;
  const Colour top = hex(0xffa928), bottom = hex(0xe45d00), edge = hex(0xa84306);

  return render(size, [&](double x, double y, Sample& out) {
    const Point p{x, y};
    if (!in_disc(p, c, s / 2)) return;
    out.paint(in_disc(p, c, s / 2 - g.rim) ? vertical(top, bottom, y, 0, s) : edge);
    if (shadow && in_arrow({x, y - s / 64}, arrow)) out.paint(hex(0x8a3a00), 0.35);
    if (in_arrow(p, arrow)) out.paint(kWhite);
  });
}

// ---- The program icon: a blue rounded square with a white arrow round a small globe.

struct ProgramGeometry {
  int size;
  double margin, corner, rim;
  double ring_in, ring_out, head_half_width, head_length;
  double globe, line, line_shift;  // globe radius (0: none); graticule line width, offset
  int detail;  // 0: plain disc, 1: equator and side meridians, 2: also central meridian, parallels
};

constexpr ProgramGeometry kProgram[] = {
    {16, 0, 3, 1, 3, 5, 3, 3, 0, 0, 0, 0},  // no room for a globe beside the head
    {32, 1, 6, 1, 7, 10, 5.5, 5.5, 5, 1, -0.5, 2},
    {48, 1, 9, 1.5, 10, 15, 8, 8.5, 7.5, 1.25, 0, 2},
    {64, 2, 12, 1.5, 13, 20, 10.5, 11, 9.5, 1.5, 0, 2},
    {128, 4, 24, 2.5, 26, 40, 21, 22, 19, 3, 0, 2},
};

Image draw_program(int size) {
  const ProgramGeometry& g =
      *std::find_if(std::begin(kProgram), std::end(kProgram),
                    [&](const ProgramGeometry& t) { return t.size == size; });
  const double s = size;
  const Point c{s / 2, s / 2};
  const Arrow arrow{c,
                    (g.ring_in + g.ring_out) / 2,
                    g.ring_out - g.ring_in,
                    kHead,
                    kTail,
                    g.head_half_width,
                    g.head_length,
                    size == 16};
  const bool shadow = size >= 48;
  const Colour top = hex(0x5cb1ff), bottom = hex(0x1a5fd0), edge = hex(0x134a9e);
  const Colour ink = hex(0x1f6ad6);
  const double lo = g.margin, hi = s - g.margin;

  return render(size, [&](double x, double y, Sample& out) {
    const Point p{x, y};
    if (!in_rounded_square(p, lo, hi, g.corner)) return;
    const bool inside = in_rounded_square(p, lo + g.rim, hi - g.rim, g.corner - g.rim);
    out.paint(inside ? vertical(top, bottom, y, lo, hi) : edge);
    if (shadow && in_arrow({x, y - s / 64}, arrow)) out.paint(hex(0x0b2f6e), 0.35);
    if (in_arrow(p, arrow)) out.paint(kWhite);
    if (g.globe <= 0 || !in_disc(p, c, g.globe)) return;
    out.paint(kWhite);
    if (g.detail == 0 || !in_disc(p, c, g.globe - g.line)) return;
    // The graticule: equator and two meridians (an ellipse); at full detail also the central
    // meridian and two parallels. All stop short of the globe's white border.
    const double dx = x - c.x - g.line_shift, dy = y - c.y - g.line_shift;
    const double half = g.line / 2;
    const double e = std::hypot(dx / (g.globe * 0.5), dy / g.globe);
    bool on = std::abs(dy) <= half || std::abs(e - 1) * g.globe * 0.5 <= half;
    if (g.detail == 2) {
      on = on || std::abs(dx) <= half || std::abs(std::abs(dy) - g.globe * 0.5) <= half;
    }
    if (on) out.paint(ink);
  });
}

// ---- The .ico file: a directory, then each image as a bitmap with its AND mask.

void put16(std::vector<std::uint8_t>& b, unsigned v) {
  b.push_back(static_cast<std::uint8_t>(v & 0xff));
  b.push_back(static_cast<std::uint8_t>((v >> 8) & 0xff));
}

void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  put16(b, v & 0xffff);
  put16(b, v >> 16);
}

std::vector<std::uint8_t> bitmap(const Image& img) {
  const int n = img.size;
  const int mask_row = (n + 31) / 32 * 4;
  const auto pixel_bytes = static_cast<std::uint32_t>(n * n * 4);
  const auto mask_bytes = static_cast<std::uint32_t>(mask_row * n);
  std::vector<std::uint8_t> b;
  put32(b, 40);                                 // header size
  put32(b, static_cast<std::uint32_t>(n));      // width
  put32(b, static_cast<std::uint32_t>(2 * n));  // height of pixels and mask together
  put16(b, 1);                                  // planes
  put16(b, 32);                                 // bits per pixel
  put32(b, 0);                                  // BI_RGB
  put32(b, pixel_bytes + mask_bytes);           // image size
  put32(b, 0);
  put32(b, 0);
  put32(b, 0);
  put32(b, 0);
  for (int y = n - 1; y >= 0; --y) {  // bottom-up, BGRA
    for (int x = 0; x < n; ++x) {
      const std::uint8_t* p = &img.rgba[static_cast<std::size_t>((y * n + x) * 4)];
      b.insert(b.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  for (int y = n - 1; y >= 0; --y) {  // mask bit set where the pixel is fully transparent
    std::vector<std::uint8_t> row(static_cast<std::size_t>(mask_row), 0);
    for (int x = 0; x < n; ++x) {
      if (img.rgba[static_cast<std::size_t>((y * n + x) * 4 + 3)] == 0) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    b.insert(b.end(), row.begin(), row.end());
  }
  return b;
}

bool write_icon(const std::string& path, const std::function<Image(int)>& draw) {
  std::vector<std::vector<std::uint8_t>> images;
  for (int size : kSizes) images.push_back(bitmap(draw(size)));
  std::vector<std::uint8_t> file;
  put16(file, 0);  // reserved
  put16(file, 1);  // icon
  put16(file, static_cast<unsigned>(images.size()));
  auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    const auto size = static_cast<std::uint8_t>(kSizes[i]);
    file.insert(file.end(), {size, size, 0, 0});  // width, height, no palette, reserved
    put16(file, 1);                               // planes
    put16(file, 32);                              // bits per pixel
    put32(file, static_cast<std::uint32_t>(images[i].size()));
    put32(file, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) file.insert(file.end(), image.begin(), image.end());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  std::printf("%s: %zu bytes\n", path.c_str(), file.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  const bool ok =
      write_icon(dir + "/pelorin.ico", draw_program) && write_icon(dir + "/tray.ico", draw_tray);
  return ok ? 0 : 1;
}
