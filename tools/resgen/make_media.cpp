// Writes the pictures of the library's Windows resources, drawn here so that
// no binary comes from elsewhere: six 8-bit RLE8 AVI clips for the
// progress window's animation control (which plays only uncompressed or
// RLE8 clips without sound), one per kind of job, and the bitmap of the
// carrier dialog. Runs on the build machine; the output is the same bytes
// on every run.
//   make_media <folder>           writes them
//   make_media --check <folder>   checks what is there
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- pictures -------------------------------------------------------------------------

// The palette: index 0 is the dialog's face colour (Wine's and classic
// Windows' button face), so the clip sits on the window without a border.
struct Rgb {
  std::uint8_t r, g, b;
};
const Rgb kPalette[] = {
    {212, 208, 200},  // 0 face
    {0, 0, 0},        // 1 black
    {96, 96, 96},     // 2 dark grey
    {255, 255, 255},  // 3 white
    {40, 80, 190},    // 4 blue
    {200, 30, 30},    // 5 red
    {225, 175, 40},   // 6 gold
    {30, 150, 50},    // 7 green
    {150, 190, 240},  // 8 light blue
    {160, 160, 160},  // 9 grey
};
enum Colour : std::uint8_t { Face, Black, Dark, White, Blue, Red, Gold, Green, LightBlue, Grey };

struct Canvas {
  int width, height;
  std::vector<std::uint8_t> pixels;  // top row first
  Canvas(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w * h), Face) {}
  void Dot(int x, int y, std::uint8_t c) {
    if (x >= 0 && y >= 0 && x < width && y < height) pixels[y * width + x] = c;
  }
  void Fill(int x, int y, int w, int h, std::uint8_t c) {
    for (int j = y; j < y + h; ++j)
      for (int i = x; i < x + w; ++i) Dot(i, j, c);
  }
  void Frame(int x, int y, int w, int h, std::uint8_t c) {
    Fill(x, y, w, 1, c);
    Fill(x, y + h - 1, w, 1, c);
    Fill(x, y, 1, h, c);
    Fill(x + w - 1, y, 1, h, c);
  }
  void Disc(int cx, int cy, int r, std::uint8_t c) {
    for (int j = -r; j <= r; ++j)
      for (int i = -r; i <= r; ++i)
        if (i * i + j * j <= r * r) Dot(cx + i, cy + j, c);
  }
  void Line(int x0, int y0, int x1, int y1, int thick, std::uint8_t c) {
    int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int s = 0; s <= steps; ++s) {
      int x = x0 + (steps ? (x1 - x0) * s / steps : 0);
      int y = y0 + (steps ? (y1 - y0) * s / steps : 0);
      Fill(x - thick / 2, y - thick / 2, thick, thick, c);
    }
  }
};

// A page with lines of text; `ink` colours the lines.
void Page(Canvas& c, int x, int y, std::uint8_t ink = Dark) {
  c.Fill(x, y, 22, 30, White);
  c.Frame(x, y, 22, 30, Black);
  for (int line = 0; line < 5; ++line) c.Fill(x + 4, y + 5 + line * 5, line == 4 ? 8 : 14, 2, ink);
}

// A padlock, its shackle closed or lifted out of the body (open).
void Padlock(Canvas& c, int x, int y, bool open) {
  const int lift = open ? 8 : 0;
  c.Fill(x + 3, y - lift, 16, 3, Dark);             // the shackle's top
  c.Fill(x + 16, y - lift, 3, 12 + lift, Dark);     // its right leg, always in the body
  c.Fill(x + 3, y - lift, 3, open ? 6 : 12, Dark);  // its left leg, out of the body when open
  c.Fill(x, y + 10, 22, 18, Gold);
  c.Frame(x, y + 10, 22, 18, Black);
  c.Disc(x + 11, y + 17, 2, Black);
  c.Fill(x + 10, y + 18, 2, 6, Black);
}

void Arrow(Canvas& c, int x, int y, std::uint8_t colour) {
  c.Fill(x, y - 1, 14, 3, colour);
  for (int i = 0; i < 5; ++i) c.Fill(x + 14 + i, y - 4 + i, 1, 9 - 2 * i, colour);
}

void CheckMark(Canvas& c, int x, int y, int part) {
  // part: 0..6, the mark drawn stroke by stroke
  if (part > 0)
    c.Line(x, y + 6, x + std::min(part, 3) * 2, y + 6 + std::min(part, 3) * 2, 3, Green);
  if (part > 3) c.Line(x + 6, y + 12, x + 6 + (part - 3) * 4, y + 12 - (part - 3) * 5, 3, Green);
}

void Seal(Canvas& c, int cx, int cy) {
  c.Disc(cx, cy, 7, Red);
  c.Disc(cx, cy, 4, White);
  c.Disc(cx, cy, 2, Red);
}

constexpr int kWidth = 160;
constexpr int kHeight = 40;
constexpr int kFrames = 8;
constexpr int kClips[] = {110, 136, 137, 138, 139, 142};

// One frame of a clip.
Canvas Draw(int clip, int f) {
  Canvas c(kWidth, kHeight);
  switch (clip) {
    case 110:  // encrypting: the page goes into the lock, which closes
      Page(c, 14 + f * 5, 5);
      Arrow(c, 74, 20, Blue);
      Padlock(c, 110, 10, f < 6);
      break;
    case 136:  // decrypting: the lock opens, the page comes out
      Padlock(c, 20, 10, f >= 2);
      Arrow(c, 56, 20, Blue);
      Page(c, 84 + f * 5, 5);
      break;
    case 137:  // hashing: the page's content flows into a short digest
      Page(c, 20, 5);
      for (int d = 0; d < 3; ++d) c.Disc(55 + ((f * 6 + d * 16) % 48), 20, 2, Blue);
      c.Frame(110, 12, 30, 16, Black);
      c.Fill(111, 13, 28, 14, White);
      for (int b = 0; b <= f && b < 6; ++b) c.Fill(113 + b * 4, 16, 3, 8, Blue);
      break;
    case 138:  // signing: a stamp comes down on the page and leaves a seal
      Page(c, 60, 6);
      if (f >= 5) Seal(c, 71, 27);
      {
        // Down in five steps to the page's foot, then back up.
        const int foot = f < 5 ? f * 5 : 20 - (f - 4) * 7;
        c.Fill(68, foot - 8, 6, 10, Dark);  // the handle
        c.Fill(63, foot + 2, 16, 5, Red);   // the stamp's face
      }
      break;
    case 142:  // comparing: two pages side by side, scanned line by line
      Page(c, 45, 5);
      Page(c, 93, 5);
      c.Fill(43, 6 + f * 4, 26, 1, Red);
      c.Fill(91, 6 + f * 4, 26, 1, Red);
      c.Fill(73, 18, 14, 3, Grey);
      break;
    case 139:  // checking a signature: the sealed page, then a check mark
    default:
      Page(c, 40, 5);
      Seal(c, 52, 26);
      Arrow(c, 70, 20, LightBlue);
      CheckMark(c, 100, 8, f);
      break;
  }
  return c;
}

// ---- files ------------------------------------------------------------------------------

struct Writer {
  std::vector<std::uint8_t> bytes;
  void U8(std::uint8_t v) { bytes.push_back(v); }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void Tag(const char* t) {
    for (int i = 0; i < 4; ++i) U8(static_cast<std::uint8_t>(t[i]));
  }
  std::size_t Mark() const { return bytes.size(); }
  void Patch(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  // A chunk header; returns where its size goes.
  std::size_t Open(const char* tag) {
    Tag(tag);
    std::size_t at = Mark();
    U32(0);
    return at;
  }
  void Close(std::size_t sizeAt) {
    Patch(sizeAt, static_cast<std::uint32_t>(Mark() - sizeAt - 4));
    if (Mark() % 2) U8(0);
  }
};

int Stride(int width, int bits) { return (width * bits / 8 + 3) & ~3; }

// BITMAPINFOHEADER (8 bits, the palette after it).
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;

void BitmapInfo(Writer& w, int width, int height, std::uint32_t imageSize,
                std::uint32_t compression = kBiRgb) {
  w.U32(40);
  w.U32(static_cast<std::uint32_t>(width));
  w.U32(static_cast<std::uint32_t>(height));  // bottom-up
  w.U16(1);
  w.U16(8);
  w.U32(compression);
  w.U32(imageSize);
  w.U32(0);
  w.U32(0);
  w.U32(256);
  w.U32(0);
  for (int i = 0; i < 256; ++i) {
    Rgb rgb =
        i < static_cast<int>(sizeof kPalette / sizeof kPalette[0]) ? kPalette[i] : Rgb{0, 0, 0};
    w.U8(rgb.b);
    w.U8(rgb.g);
    w.U8(rgb.r);
    w.U8(0);
  }
}

void Pixels(Writer& w, const Canvas& c) {
  const int stride = Stride(c.width, 8);
  for (int y = c.height - 1; y >= 0; --y) {
    for (int x = 0; x < c.width; ++x) w.U8(c.pixels[y * c.width + x]);
    for (int x = c.width; x < stride; ++x) w.U8(0);
  }
}

// A frame in RLE8, encoded runs only (no literal or delta codes): each row
// bottom-up as runs of at most 255 equal pixels and an end-of-line mark, the
// last row ended by the end-of-bitmap mark instead.
std::vector<std::uint8_t> Rle8(const Canvas& c) {
  std::vector<std::uint8_t> out;
  for (int y = c.height - 1; y >= 0; --y) {
    const std::uint8_t* row = &c.pixels[static_cast<std::size_t>(y * c.width)];
    for (int x = 0; x < c.width;) {
      int run = 1;
      while (x + run < c.width && run < 255 && row[x + run] == row[x]) ++run;
      out.push_back(static_cast<std::uint8_t>(run));
      out.push_back(row[x]);
      x += run;
    }
    out.push_back(0);
    out.push_back(y == 0 ? 1 : 0);
  }
  return out;
}

std::vector<std::uint8_t> Clip(int id) {
  std::vector<std::vector<std::uint8_t>> frames;
  std::uint32_t largest = 0;
  for (int f = 0; f < kFrames; ++f) {
    frames.push_back(Rle8(Draw(id, f)));
    largest = std::max(largest, static_cast<std::uint32_t>(frames.back().size()));
  }
  const std::uint32_t fps = 8;
  Writer w;
  std::size_t riff = w.Open("RIFF");
  w.Tag("AVI ");
  std::size_t hdrl = w.Open("LIST");
  w.Tag("hdrl");
  std::size_t avih = w.Open("avih");
  w.U32(1000000 / fps);  // microseconds per frame
  w.U32(largest * fps);
  w.U32(0);
  w.U32(0x10);  // AVIF_HASINDEX
  w.U32(kFrames);
  w.U32(0);
  w.U32(1);  // streams
  w.U32(largest);
  w.U32(kWidth);
  w.U32(kHeight);
  for (int i = 0; i < 4; ++i) w.U32(0);
  w.Close(avih);
  std::size_t strl = w.Open("LIST");
  w.Tag("strl");
  std::size_t strh = w.Open("strh");
  w.Tag("vids");
  w.U32(0);  // handler: none, the frames are plain RLE8 bitmaps
  w.U32(0);  // flags
  w.U16(0);  // priority
  w.U16(0);  // language
  w.U32(0);  // initial frames
  w.U32(1);  // scale
  w.U32(fps);
  w.U32(0);  // start
  w.U32(kFrames);
  w.U32(largest);
  w.U32(0xFFFFFFFF);  // quality
  w.U32(0);           // sample size
  w.U16(0);
  w.U16(0);
  w.U16(kWidth);
  w.U16(kHeight);
  w.Close(strh);
  std::size_t strf = w.Open("strf");
  BitmapInfo(w, kWidth, kHeight, largest, kBiRle8);
  w.Close(strf);
  w.Close(strl);
  w.Close(hdrl);
  std::size_t movi = w.Open("LIST");
  const std::size_t moviTag = w.Mark();
  w.Tag("movi");
  std::vector<std::uint32_t> offsets;
  for (const std::vector<std::uint8_t>& frame : frames) {
    offsets.push_back(static_cast<std::uint32_t>(w.Mark() - moviTag));
    std::size_t chunk = w.Open("00dc");
    w.bytes.insert(w.bytes.end(), frame.begin(), frame.end());
    w.Close(chunk);
  }
  w.Close(movi);
  std::size_t idx1 = w.Open("idx1");
  for (std::size_t f = 0; f < frames.size(); ++f) {
    w.Tag("00dc");
    w.U32(0x10);  // AVIIF_KEYFRAME: every frame is whole
    w.U32(offsets[f]);
    w.U32(static_cast<std::uint32_t>(frames[f].size()));
  }
  w.Close(idx1);
  w.Close(riff);
  return w.bytes;
}

// The carrier dialog's picture: a key beside a Touch Memory button.
std::vector<std::uint8_t> CarrierBitmap() {
  Canvas c(48, 48);
  c.Disc(14, 16, 10, Gold);  // the key's bow
  c.Disc(14, 16, 4, Face);
  c.Fill(22, 14, 20, 5, Gold);  // its shank
  c.Fill(34, 19, 3, 6, Gold);   // and bits
  c.Fill(39, 19, 3, 4, Gold);
  c.Disc(30, 36, 9, Grey);  // the iButton
  c.Disc(30, 36, 7, Dark);
  c.Disc(28, 34, 2, Grey);
  const std::uint32_t imageSize = static_cast<std::uint32_t>(Stride(48, 8) * 48);
  Writer w;
  w.U8('B');
  w.U8('M');
  const std::uint32_t offset = 14 + 40 + 256 * 4;
  w.U32(offset + imageSize);
  w.U32(0);
  w.U32(offset);
  BitmapInfo(w, 48, 48, imageSize);
  Pixels(w, c);
  return w.bytes;
}

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// ---- checking ---------------------------------------------------------------------------
// `make_media --check <folder>` re-reads what was written and fails on any fault, so a
// broken clip stops the build instead of reaching the DLL.

struct Reader {
  const std::vector<std::uint8_t>& b;
  std::uint32_t U16(std::size_t at) const { return b[at] | b[at + 1] << 8; }
  std::uint32_t U32(std::size_t at) const {
    return U16(at) | static_cast<std::uint32_t>(U16(at + 2)) << 16;
  }
  bool Tag(std::size_t at, const char* t) const {
    return at + 4 <= b.size() && std::equal(t, t + 4, b.begin() + static_cast<std::ptrdiff_t>(at));
  }
};

bool Load(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return static_cast<bool>(in) || in.eof();
}

// One RLE8 frame: every row filled exactly, no deltas, nothing after the end mark.
bool Rle8Ok(const std::uint8_t* p, std::size_t n, int width, int height) {
  std::size_t i = 0;
  int x = 0, y = 0;
  while (i + 2 <= n) {
    const int count = p[i], code = p[i + 1];
    i += 2;
    if (count) {  // a run
      if (y >= height || x + count > width) return false;
      x += count;
    } else if (code == 0 || code == 1) {  // end of line, end of bitmap
      if (x != 0 && x != width) return false;
      if (x == width) ++y, x = 0;
      if (code == 1) return y == height && x == 0 && i == n;
    } else if (code >= 3) {  // literal pixels, padded to a word
      if (y >= height || x + code > width || i + code + (code & 1) > n) return false;
      x += code;
      i += code + (code & 1);
    } else {
      return false;  // deltas leave pixels undefined
    }
  }
  return false;  // no end mark
}

// The first fault of a clip, or an empty string.
std::string ClipFault(const std::vector<std::uint8_t>& b) {
  Reader r{b};
  if (b.size() < 12 || !r.Tag(0, "RIFF") || !r.Tag(8, "AVI ")) return "not RIFF AVI";
  if (r.U32(4) + 8 != b.size()) return "RIFF size";
  std::uint32_t frames = 0, width = 0, height = 0, compression = 99;
  std::size_t movi = 0, moviEnd = 0, idx = 0, idxSize = 0;
  bool stream = false;
  std::vector<std::size_t> frameChunks;
  // The top-level chunks, then those of the lists inside them.
  std::vector<std::pair<std::size_t, std::size_t>> spans{{12, b.size()}};
  for (std::size_t s = 0; s < spans.size(); ++s) {
    for (std::size_t at = spans[s].first; at < spans[s].second;) {
      if (at + 8 > spans[s].second) return "truncated chunk";
      const std::size_t size = r.U32(at + 4), body = at + 8, end = body + size;
      if (end > spans[s].second) return "chunk overruns its list";
      if (r.Tag(at, "LIST")) {
        if (size < 4) return "empty LIST";
        if (r.Tag(body, "movi")) {
          movi = body;
          moviEnd = end;
        }
        spans.push_back({body + 4, end});
      } else if (r.Tag(at, "avih")) {
        if (size != 56) return "avih size";
        frames = r.U32(body + 16);
        width = r.U32(body + 32);
        height = r.U32(body + 36);
      } else if (r.Tag(at, "strh")) {
        if (size < 48 || !r.Tag(body, "vids") || stream) return "not one video stream";
        if (r.U32(body + 4) != 0 && !r.Tag(body + 4, "DIB ")) return "stream handler";
        stream = true;
      } else if (r.Tag(at, "strf")) {
        if (size < 40 || r.U32(body) != 40) return "BITMAPINFOHEADER size";
        if (r.U32(body + 4) != width || r.U32(body + 8) != height) return "strf frame size";
        if (r.U16(body + 12) != 1 || r.U16(body + 14) != 8) return "not 8 bits";
        compression = r.U32(body + 16);
        const std::uint32_t colours = r.U32(body + 32) ? r.U32(body + 32) : 256;
        if (colours > 256 || size < 40 + 4 * colours) return "palette";
      } else if (r.Tag(at, "idx1")) {
        idx = body;
        idxSize = size;
      } else if (movi && at > movi && at < moviEnd) {
        frameChunks.push_back(at);  // checked once the stream's format is known
      }
      at = end + (size & 1);
    }
  }
  if (!stream || compression > 1 || width == 0 || height == 0) return "stream format";
  if (!movi || frames == 0 || frameChunks.size() != frames) return "frame count";
  const std::size_t stride = static_cast<std::size_t>(Stride(static_cast<int>(width), 8));
  for (std::size_t at : frameChunks) {
    const std::size_t size = r.U32(at + 4);
    if (r.Tag(at, "00db")) {
      if (compression != 0 || size != stride * height) return "uncompressed frame size";
    } else if (r.Tag(at, "00dc")) {
      if (compression != 1 ||
          !Rle8Ok(&b[at + 8], size, static_cast<int>(width), static_cast<int>(height)))
        return "RLE8 frame";
    } else {
      return "unexpected chunk in movi";
    }
  }
  if (!idx || idxSize != 16u * frames) return "idx1 entries";
  for (std::uint32_t e = 0; e < frames; ++e) {  // each entry names its frame's chunk
    const std::size_t chunk = movi + r.U32(idx + 16 * e + 8);
    if (chunk + 8 > moviEnd ||
        !std::equal(b.begin() + static_cast<std::ptrdiff_t>(idx + 16 * e),
                    b.begin() + static_cast<std::ptrdiff_t>(idx + 16 * e + 4),
                    b.begin() + static_cast<std::ptrdiff_t>(chunk)) ||
        r.U32(idx + 16 * e + 12) != r.U32(chunk + 4))
      return "idx1 entry";
  }
  return {};
}

std::string BitmapFault(const std::vector<std::uint8_t>& b) {
  Reader r{b};
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return "not BMP";
  if (r.U32(2) != b.size() || r.U32(14) != 40) return "header sizes";
  const std::uint32_t width = r.U32(18), height = r.U32(22), bits = r.U16(28);
  if (width == 0 || width > 256 || height == 0 || height > 256 || r.U16(26) != 1) return "size";
  if ((bits != 8 && bits != 24) || r.U32(30) != 0) return "not 8/24-bit BI_RGB";
  const std::uint32_t colours = bits == 24 ? 0 : (r.U32(46) ? r.U32(46) : 256);
  if (colours > 256 || r.U32(10) != 54 + 4 * colours) return "pixel offset";
  const std::size_t image =
      static_cast<std::size_t>(Stride(static_cast<int>(width), static_cast<int>(bits))) * height;
  if (r.U32(10) + image != b.size()) return "pixel data size";
  return {};
}

int Check(const std::string& folder) {
  int faults = 0;
  std::vector<std::uint8_t> bytes;
  auto report = [&](const std::string& name, const std::string& fault) {
    if (fault.empty()) return;
    std::fprintf(stderr, "make_media --check: %s: %s\n", name.c_str(), fault.c_str());
    ++faults;
  };
  for (int id : kClips) {
    const std::string name = folder + "/clip" + std::to_string(id) + ".avi";
    report(name, Load(name, bytes) ? ClipFault(bytes) : "cannot read");
  }
  const std::string name = folder + "/bitmap105.bmp";
  report(name, Load(name, bytes) ? BitmapFault(bytes) : "cannot read");
  return faults ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--check") return Check(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_media <folder> | make_media --check <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  bool ok = true;
  for (int id : kClips) ok = Save(folder + "/clip" + std::to_string(id) + ".avi", Clip(id)) && ok;
  ok = Save(folder + "/bitmap105.bmp", CarrierBitmap()) && ok;
  if (!ok) std::fprintf(stderr, "make_media: cannot write into %s\n", folder.c_str());
  return ok ? 0 : 1;
}
