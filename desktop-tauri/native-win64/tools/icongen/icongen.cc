// zur_icongen: draws the ZUR Vedozaruz application icon and writes
//   icon.ico, icon.png, 32x32.png and 128x128.png
// into the folder named on the command line.
//
// The output is meant to be committed and compared byte for byte in CI, so
// everything here is deterministic: the picture is computed from pixel
// centres with plain double arithmetic, PNG rows are filtered with a fixed
// rule, and zlib runs with explicitly fixed parameters.

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
  double r, g, b;
};

// The picture is designed on a 64 x 64 grid; other sizes scale these.
constexpr double kDesign = 64.0;
constexpr double kFrame = 2.0;          // transparent border width
constexpr double kDiscRadius = 28.0;    // gradient disc, 56 across
constexpr double kCoreRadius = 14.0;    // amber disc, 28 across
constexpr Rgb kNavy{9, 13, 22};
constexpr Rgb kSky{14, 165, 233};       // gradient colour at the core's edge
constexpr Rgb kIndigo{34, 36, 95};      // gradient colour at the rim
constexpr Rgb kAmber{245, 185, 28};

std::uint8_t channel(double v) {
  return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Returns size*size RGBA pixels, row by row. Every pixel is decided at its
// centre, so edges are hard and alpha is only ever 0 or 255 (the icon must
// have no partially transparent pixels).
Bytes draw(int size) {
  const double scale = size / kDesign;
  const double centre = kDesign / 2.0;
  Bytes rgba(static_cast<std::size_t>(size) * size * 4, 0);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      // Pixel centre in design units.
      const double u = (x + 0.5) / scale;
      const double v = (y + 0.5) / scale;
      if (u < kFrame || v < kFrame || u > kDesign - kFrame ||
          v > kDesign - kFrame) {
        continue;  // frame: left fully transparent (all zero)
      }
      const double r = std::hypot(u - centre, v - centre);
      Rgb c = kNavy;
      if (r < kCoreRadius) {
        c = kAmber;
      } else if (r < kDiscRadius) {
        // Linear in the radius: sky blue at the core's edge, indigo at the rim.
        const double t = (r - kCoreRadius) / (kDiscRadius - kCoreRadius);
        c = {kSky.r + (kIndigo.r - kSky.r) * t, kSky.g + (kIndigo.g - kSky.g) * t,
             kSky.b + (kIndigo.b - kSky.b) * t};
      }
      std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
      p[0] = channel(c.r);
      p[1] = channel(c.g);
      p[2] = channel(c.b);
      p[3] = 255;
    }
  }
  return rgba;
}

std::uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  if (pb <= pc) return static_cast<std::uint8_t>(b);
  return static_cast<std::uint8_t>(c);
}

// Filters one scanline with PNG filter `type` (0 none, 1 sub, 2 up,
// 3 average, 4 paeth). `prev` is the unfiltered previous row (zeros for the
// first row).
Bytes filter_row(int type, const std::uint8_t* row, const std::uint8_t* prev,
                 std::size_t len) {
  constexpr std::size_t bpp = 4;
  Bytes out(len);
  for (std::size_t i = 0; i < len; ++i) {
    const int a = i >= bpp ? row[i - bpp] : 0;
    const int b = prev[i];
    const int c = i >= bpp ? prev[i - bpp] : 0;
    int pred = 0;
    switch (type) {
      case 1: pred = a; break;
      case 2: pred = b; break;
      case 3: pred = (a + b) / 2; break;
      case 4: pred = paeth(a, b, c); break;
      default: break;
    }
    out[i] = static_cast<std::uint8_t>(row[i] - pred);
  }
  return out;
}

// Builds the zlib input: each row prefixed by its filter type. The filter is
// chosen per row by the usual "minimum sum of absolute differences" rule
// (ties go to the lower type), which compresses well and is deterministic.
Bytes filtered_scanlines(const Bytes& rgba, int size) {
  const std::size_t len = static_cast<std::size_t>(size) * 4;
  const Bytes zeros(len, 0);
  Bytes out;
  for (int y = 0; y < size; ++y) {
    const std::uint8_t* row = &rgba[y * len];
    const std::uint8_t* prev = y > 0 ? &rgba[(y - 1) * len] : zeros.data();
    int best_type = 0;
    Bytes best;
    long best_cost = -1;
    for (int type = 0; type <= 4; ++type) {
      Bytes f = filter_row(type, row, prev, len);
      long cost = 0;
      for (std::uint8_t byte : f) cost += byte < 128 ? byte : 256 - byte;
      if (best_cost < 0 || cost < best_cost) {
        best_cost = cost;
        best_type = type;
        best = std::move(f);
      }
    }
    out.push_back(static_cast<std::uint8_t>(best_type));
    out.insert(out.end(), best.begin(), best.end());
  }
  return out;
}

// Deflates with fixed parameters (level 9, 32 KiB window, memLevel 8,
// default strategy) so that the same zlib produces the same stream.
bool deflate_all(const Bytes& in, Bytes& out) {
  z_stream zs{};
  if (deflateInit2(&zs, 9, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return false;
  }
  out.resize(deflateBound(&zs, static_cast<uLong>(in.size())));
  zs.next_in = const_cast<Bytef*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return rc == Z_STREAM_END;
}

void put_u32be(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<std::uint8_t>(v >> shift));
  }
}

void put_le(Bytes& out, std::uint32_t v, int width) {
  for (int i = 0; i < width; ++i) {
    out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
}

// Appends one PNG chunk: length, type, data, CRC over type and data.
void put_chunk(Bytes& out, const char (&type)[5], const Bytes& data) {
  put_u32be(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t type_at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, &out[type_at], static_cast<uInt>(4 + data.size()));
  put_u32be(out, static_cast<std::uint32_t>(crc));
}

// A minimal PNG: signature, IHDR (8-bit RGBA, no interlace), one IDAT, IEND.
// No other chunks, so no timestamps or text that would vary between runs.
bool encode_png(const Bytes& rgba, int size, Bytes& png) {
  Bytes idat;
  if (!deflate_all(filtered_scanlines(rgba, size), idat)) return false;
  Bytes ihdr;
  put_u32be(ihdr, static_cast<std::uint32_t>(size));
  put_u32be(ihdr, static_cast<std::uint32_t>(size));
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // depth, RGBA, deflate, filter, no interlace
  png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  put_chunk(png, "IHDR", ihdr);
  put_chunk(png, "IDAT", idat);
  put_chunk(png, "IEND", {});
  return true;
}

// An ICO holding the PNG as its only image: 6-byte header, one 16-byte
// directory entry, then the PNG at offset 22.
Bytes encode_ico(const Bytes& png, int size) {
  Bytes ico;
  put_le(ico, 0, 2);  // reserved
  put_le(ico, 1, 2);  // type: icon
  put_le(ico, 1, 2);  // one image
  ico.push_back(static_cast<std::uint8_t>(size));  // 64 fits; 256 would be 0
  ico.push_back(static_cast<std::uint8_t>(size));
  ico.push_back(0);   // no palette
  ico.push_back(0);   // reserved
  put_le(ico, 1, 2);  // colour planes
  put_le(ico, 32, 2); // bits per pixel
  put_le(ico, static_cast<std::uint32_t>(png.size()), 4);
  put_le(ico, 22, 4); // image data follows the header directly
  ico.insert(ico.end(), png.begin(), png.end());
  return ico;
}

// Writes the whole file; a short write or a failed close counts as failure
// so that a full disk is not reported as success.
bool write_file(const std::filesystem::path& path, const Bytes& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool wrote = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  const bool closed = std::fclose(f) == 0;
  return wrote && closed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argc > 0 ? argv[0] : "zur_icongen");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    std::fprintf(stderr, "cannot create %s: %s\n", dir.c_str(), ec.message().c_str());
    return 1;
  }

  struct Output {
    const char* name;
    int size;
    bool ico;
  };
  const std::array<Output, 4> outputs{{
      {"icon.ico", 64, true},
      {"icon.png", 64, false},
      {"32x32.png", 32, false},
      {"128x128.png", 128, false},
  }};
  for (const Output& out : outputs) {
    Bytes png;
    if (!encode_png(draw(out.size), out.size, png)) {
      std::fprintf(stderr, "deflate failed for %s\n", out.name);
      return 1;
    }
    const Bytes& data = out.ico ? encode_ico(png, out.size) : png;
    if (!write_file(dir / out.name, data)) {
      std::fprintf(stderr, "cannot write %s\n", (dir / out.name).c_str());
      return 1;
    }
  }
  return 0;
}
