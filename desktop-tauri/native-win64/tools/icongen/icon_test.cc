// Checks the committed icon files in desktop-tauri/icons. They are read with
// a small ICO/PNG reader of this file's own (zlib only inflates), not with
// the generator's code, so a fault in the generator cannot hide itself.

#include <gtest/gtest.h>
#include <zlib.h>

#include "test_support.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#ifndef ZUR_ICONS_DIR
#error "ZUR_ICONS_DIR must name the desktop-tauri/icons folder"
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

Bytes read_icon_file(const std::string& name) {
  const std::string bytes = zur::read_file(std::string(ZUR_ICONS_DIR) + "/" + name);
  return Bytes(bytes.begin(), bytes.end());
}

std::uint32_t be32(const Bytes& d, std::size_t at) {
  return std::uint32_t{d[at]} << 24 | d[at + 1] << 16 | d[at + 2] << 8 | d[at + 3];
}

std::uint32_t le(const Bytes& d, std::size_t at, int width) {
  std::uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | d[at + i];
  return v;
}

struct Chunk {
  std::string type;
  Bytes data;
  bool crc_ok;
};

struct Png {
  std::string error;  // empty when the file was read completely
  std::vector<Chunk> chunks;
  std::uint32_t width = 0, height = 0;
  Bytes rgba;  // width*height*4 after unfiltering, when IHDR says 8-bit RGBA
  std::uint8_t pixel(int x, int y, int c) const {
    return rgba[(static_cast<std::size_t>(y) * width + x) * 4 + c];
  }
};

std::vector<Chunk> split_chunks(const Bytes& d, std::string& error) {
  std::vector<Chunk> chunks;
  if (d.size() < 8 || !std::equal(kPngSignature.begin(), kPngSignature.end(), d.begin())) {
    error = "no PNG signature";
    return chunks;
  }
  std::size_t at = 8;
  while (at < d.size()) {
    if (d.size() - at < 12) { error = "truncated chunk header"; return chunks; }
    const std::uint32_t len = be32(d, at);
    if (d.size() - at - 12 < len) { error = "chunk overruns file"; return chunks; }
    const auto type = d.begin() + at + 4, data = type + 4;
    const bool crc_ok = crc32(0L, &d[at + 4], len + 4) == be32(d, at + 8 + len);
    chunks.push_back({std::string(type, data), Bytes(data, data + len), crc_ok});
    at += 12 + len;
  }
  return chunks;
}

int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// Reverses the five PNG row filters in place into png.rgba.
void unfilter(const Bytes& raw, Png& png) {
  const std::size_t stride = png.width * 4;
  png.rgba.assign(stride * png.height, 0);
  for (std::size_t y = 0; y < png.height; ++y) {
    const std::uint8_t type = raw[y * (stride + 1)];
    if (type > 4) { png.error = "bad filter type " + std::to_string(type); return; }
    const std::uint8_t* in = &raw[y * (stride + 1) + 1];
    std::uint8_t* out = &png.rgba[y * stride];
    const std::uint8_t* up = y > 0 ? out - stride : nullptr;
    for (std::size_t i = 0; i < stride; ++i) {
      const int a = i >= 4 ? out[i - 4] : 0;
      const int b = up ? up[i] : 0;
      const int c = (up && i >= 4) ? up[i - 4] : 0;
      // What filter types None, Sub, Up, Average and Paeth add back.
      const int predictor[] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
      out[i] = static_cast<std::uint8_t>(in[i] + predictor[type]);
    }
  }
}

Png decode_png(const Bytes& d) {
  Png png;
  const auto fail = [&png](const char* why) { png.error = why; return png; };
  png.chunks = split_chunks(d, png.error);
  if (!png.error.empty()) return png;
  if (png.chunks.empty() || png.chunks[0].type != "IHDR" || png.chunks[0].data.size() != 13)
    return fail("first chunk is not a 13-byte IHDR");
  const Bytes& ihdr = png.chunks[0].data;
  png.width = be32(ihdr, 0);
  png.height = be32(ihdr, 4);
  if (ihdr[8] != 8 || ihdr[9] != 6 || ihdr[12] != 0 || png.width == 0 || png.width > 4096 ||
      png.height == 0 || png.height > 4096)
    return fail("not a non-interlaced 8-bit RGBA image of sane size");
  Bytes z;
  for (const Chunk& c : png.chunks)
    if (c.type == "IDAT") z.insert(z.end(), c.data.begin(), c.data.end());
  const std::size_t expected = (png.width * 4 + 1) * png.height;
  Bytes raw(expected + 1);  // one spare byte reveals excess data
  uLongf raw_len = raw.size();
  if (uncompress(raw.data(), &raw_len, z.data(), z.size()) != Z_OK || raw_len != expected)
    return fail("IDAT does not inflate to exactly the image's scanlines");
  unfilter(raw, png);
  return png;
}

// The three committed PNGs with their edge length and frame width in pixels,
// each read and decoded once for all the tests below.
struct Decoded {
  const char* file;
  int size, frame;
  Png png;
};
const std::vector<Decoded>& decoded_pngs() {
  static const std::vector<Decoded> all = [] {
    std::vector<Decoded> out{{"icon.png", 64, 2, {}}, {"32x32.png", 32, 1, {}}, {"128x128.png", 128, 4, {}}};
    for (Decoded& d : out) d.png = decode_png(read_icon_file(d.file));
    return out;
  }();
  return all;
}

TEST(IcoFile, HeaderDescribesTheOnePngItHolds) {
  const Bytes ico = read_icon_file("icon.ico");
  ASSERT_GT(ico.size(), 22u + 8u);
  const struct {
    const char* name;
    std::size_t offset;
    int width;
    std::uint32_t expected;
  } fields[] = {
      {"reserved", 0, 2, 0}, {"resource type", 2, 2, 1}, {"image count", 4, 2, 1},
      {"width", 6, 1, 64}, {"height", 7, 1, 64}, {"palette colours", 8, 1, 0}, {"entry reserved", 9, 1, 0},
      {"planes", 10, 2, 1}, {"bits per pixel", 12, 2, 32},
      {"data length", 14, 4, static_cast<std::uint32_t>(ico.size() - 22)}, {"data offset", 18, 4, 22},
  };
  for (const auto& f : fields) EXPECT_EQ(le(ico, f.offset, f.width), f.expected) << f.name;
  const Bytes embedded(ico.begin() + 22, ico.end());
  EXPECT_TRUE(std::equal(kPngSignature.begin(), kPngSignature.end(), embedded.begin()));
  EXPECT_EQ(embedded, read_icon_file("icon.png")) << "icon.ico should carry icon.png unchanged";
}

TEST(PngFile, ChunksAreExactlyIhdrIdatIendWithValidCrcs) {
  const Bytes ico = read_icon_file("icon.ico");
  ASSERT_GT(ico.size(), 22u);
  const std::pair<const char*, Bytes> files[] = {
      {"icon.ico image", Bytes(ico.begin() + 22, ico.end())},
      {"icon.png", read_icon_file("icon.png")},
      {"32x32.png", read_icon_file("32x32.png")},
      {"128x128.png", read_icon_file("128x128.png")},
  };
  for (const auto& [name, bytes] : files) {
    std::string error;
    const std::vector<Chunk> chunks = split_chunks(bytes, error);
    EXPECT_EQ(error, "") << name;
    std::vector<std::string> types;
    for (const Chunk& c : chunks) {
      types.push_back(c.type);
      EXPECT_TRUE(c.crc_ok) << name << " " << c.type;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"})) << name;
    if (chunks.size() == 3) { EXPECT_TRUE(chunks[2].data.empty()) << name << " IEND"; }
  }
}

TEST(PngFile, IhdrDeclaresSquare8BitRgbaNotInterlaced) {
  for (const auto& [file, size, frame, png] : decoded_pngs()) {
    ASSERT_FALSE(png.chunks.empty()) << file << ": " << png.error;
    const Bytes& ihdr = png.chunks[0].data;
    ASSERT_EQ(ihdr.size(), 13u) << file;
    EXPECT_EQ(be32(ihdr, 0), static_cast<std::uint32_t>(size)) << file << " width";
    EXPECT_EQ(be32(ihdr, 4), static_cast<std::uint32_t>(size)) << file << " height";
    const Bytes tail(ihdr.begin() + 8, ihdr.end());
    EXPECT_EQ(tail, (Bytes{8, 6, 0, 0, 0})) << file << " depth/colour/compression/filter/interlace";
  }
}

TEST(PngPixels, AlphaIsOpaqueInsideAndTransparentInTheFrame) {
  for (const auto& [file, size, frame, png] : decoded_pngs()) {
    ASSERT_EQ(png.error, "") << file;
    int wrong = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const bool in_frame = x < frame || y < frame || x >= size - frame || y >= size - frame;
        if (png.pixel(x, y, 3) != (in_frame ? 0 : 255)) ++wrong;
        if (in_frame && (png.pixel(x, y, 0) | png.pixel(x, y, 1) | png.pixel(x, y, 2)) != 0) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << file;
  }
}

// Points on the 64-pixel design grid; for the other sizes the same point is
// scaled, which lands inside the same region of the picture.
TEST(PngPixels, KnownPointsHaveTheDesignedColours) {
  const struct {
    const char* what;
    int x, y;  // on the 64 grid
    int r, g, b, a;
    int tolerance;
  } points[] = {
      {"frame corner", 0, 0, 0, 0, 0, 0, 0},
      {"frame inner corner", 1, 1, 0, 0, 0, 0, 0},
      {"frame right edge", 63, 32, 0, 0, 0, 0, 0},
      {"navy corner", 3, 3, 9, 13, 22, 255, 0},
      {"navy bottom right", 60, 60, 9, 13, 22, 255, 0},
      {"navy beside the disc", 32, 61, 9, 13, 22, 255, 0},
      {"amber centre", 32, 32, 245, 185, 28, 255, 0},
      {"amber upper left of centre", 31, 31, 245, 185, 28, 255, 0},
      {"amber near its edge", 40, 40, 245, 185, 28, 255, 0},
      {"gradient just outside amber", 32, 17, 14, 165, 233, 255, 10},
      {"gradient just inside the rim", 32, 4, 34, 36, 95, 255, 10},
  };
  for (const auto& [file, size, frame, png] : decoded_pngs()) {
    ASSERT_EQ(png.error, "") << file;
    // Coarser pictures sample the gradient further from its ends.
    const int k = size < 64 ? 2 : 1;
    for (const auto& p : points) {
      // Map the design pixel to a pixel of this size by its centre.
      const int x = static_cast<int>((p.x + 0.5) * size / 64);
      const int y = static_cast<int>((p.y + 0.5) * size / 64);
      const int expected[4] = {p.r, p.g, p.b, p.a};
      for (int ch = 0; ch < 4; ++ch) {
        EXPECT_NEAR(png.pixel(x, y, ch), expected[ch], p.tolerance * k)
            << file << " " << p.what << " (" << x << "," << y << ") channel " << ch;
      }
    }
  }
}

TEST(PngPixels, DiscGradientDarkensOutwardAndStopsAtTheRim) {
  // Row 32 of the 64 picture; pixel centres at x + 0.5 so the radius is
  // about x - 31.5: amber up to 13.5, gradient 14.5 .. 27.5, navy from 28.5.
  const Png& png = decoded_pngs()[0].png;  // icon.png
  ASSERT_EQ(png.error, "");
  auto rgb = [&](int x) {
    return std::vector<int>{png.pixel(x, 32, 0), png.pixel(x, 32, 1), png.pixel(x, 32, 2)};
  };
  EXPECT_EQ(rgb(45), (std::vector<int>{245, 185, 28})) << "radius 13.5 is amber";
  EXPECT_EQ(rgb(60), (std::vector<int>{9, 13, 22})) << "radius 28.5 is navy";
  const int xs[] = {46, 48, 51, 54, 57, 59};  // radius ~14.5, 16.5, 19.5, 22.5, 25.5, 27.5
  for (std::size_t i = 1; i < std::size(xs); ++i) {
    const std::vector<int> inner = rgb(xs[i - 1]), outer = rgb(xs[i]);
    EXPECT_GT(inner[1], outer[1]) << "green falls from x=" << xs[i - 1] << " to x=" << xs[i];
    EXPECT_GT(inner[2], outer[2]) << "blue falls from x=" << xs[i - 1] << " to x=" << xs[i];
    EXPECT_GT(inner[0] + inner[1] + inner[2], outer[0] + outer[1] + outer[2]);
  }
  // Evenly: equal steps in radius give roughly equal steps in green.
  EXPECT_NEAR(rgb(48)[1] - rgb(51)[1], rgb(54)[1] - rgb(57)[1], 3);
}

TEST(PngPixels, PictureIsSymmetricAboutItsCentre) {
  for (const auto& [file, size, frame, png] : decoded_pngs()) {
    ASSERT_EQ(png.error, "") << file;
    const int n = size - 1;
    int asymmetric = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        for (int ch = 0; ch < 4; ++ch) {
          const int v = png.pixel(x, y, ch);
          if (v != png.pixel(n - x, y, ch) || v != png.pixel(x, n - y, ch) || v != png.pixel(y, x, ch)) ++asymmetric;
        }
      }
    }
    EXPECT_EQ(asymmetric, 0) << file;
  }
}

}  // namespace
