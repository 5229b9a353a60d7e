// Writes the images of the program's icon file as the PNG files of a desktop icon theme, so the
// menus show the same pixels the window carries. Run by the build:
//   pelorin_icon_pngs ICON.ico OUTDIR SIZE...
// writes OUTDIR/<SIZE>x<SIZE>/apps/pelorin.png for every SIZE, and fails when the icon file has
// no square image of a requested size or cannot be read.
#include <QByteArray>
#include <QDir>
#include <QImage>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/icon_file.h"

namespace {

namespace rt = pelorin::runtime;

std::optional<std::vector<std::uint8_t>> read_file(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The image as a QImage: a PNG stream decoded as it is, a bitmap through the icon reader.
QImage image_of(std::span<const std::uint8_t> file, const rt::IconImage& entry) {
  if (entry.png) {
    QImage png;
    png.loadFromData(
        QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()) + entry.offset,
                                static_cast<qsizetype>(entry.size)),
        "PNG");
    return png;
  }
  const std::vector<std::uint32_t> argb = rt::decode_argb(file, entry);
  if (argb.size() != static_cast<std::size_t>(entry.width) * entry.height) return {};
  QImage image(entry.width, entry.height, QImage::Format_ARGB32);
  for (int y = 0; y < entry.height; ++y) {
    std::memcpy(image.scanLine(y), argb.data() + static_cast<std::size_t>(y) * entry.width,
                static_cast<std::size_t>(entry.width) * sizeof(std::uint32_t));
  }
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s ICON.ico OUTDIR SIZE...\n", argv[0]);
    return 2;
  }
  const auto file = read_file(argv[1]);
  if (!file) {
    std::fprintf(stderr, "icon_pngs: cannot read %s\n", argv[1]);
    return 1;
  }
  const auto entries = rt::parse_icon_file(*file);
  if (!entries) {
    std::fprintf(stderr, "icon_pngs: %s is not a well-formed icon file\n", argv[1]);
    return 1;
  }
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const rt::IconImage* found = nullptr;
    for (const rt::IconImage& entry : *entries) {
      if (entry.width == size && entry.height == size) {
        found = &entry;
        break;
      }
    }
    const QImage image = found ? image_of(*file, *found) : QImage();
    if (image.isNull() || image.width() != size || image.height() != size) {
      std::fprintf(stderr, "icon_pngs: %s has no readable %dx%d image\n", argv[1], size, size);
      return 1;
    }
    const QString dir = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[2])).arg(size);
    const QString path = dir + "/pelorin.png";
    if (!QDir().mkpath(dir) || !image.save(path, "PNG")) {
      std::fprintf(stderr, "icon_pngs: cannot write %s\n", path.toLocal8Bit().constData());
      return 1;
    }
  }
  return 0;
}
