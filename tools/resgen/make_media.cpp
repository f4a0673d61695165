// Writes the pictures of the library's Windows resources, drawn here so that
// no binary comes from elsewhere: six uncompressed 8-bit AVI clips for the
// progress window's animation control (which plays only uncompressed or
// RLE8 clips without sound), one per kind of job, and the bitmap of the
// carrier dialog. Runs on the build machine; the output is the same bytes
// on every run.
//   make_media <folder>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
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

// A padlock whose shackle is raised by `open` pixels (0: closed).
void Padlock(Canvas& c, int x, int y, int open) {
  c.Fill(x + 3, y - open, 3, 12, Dark);          // the shackle's left leg, out when open
  c.Fill(x + 3, y - open, 16, 3, Dark);          // its top
  c.Fill(x + 16, y - open, 3, open + 12, Dark);  // the right leg stays in the body
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

// One frame of a clip.
Canvas Draw(int clip, int f) {
  Canvas c(kWidth, kHeight);
  switch (clip) {
    case 110:  // encrypting: the page goes into the lock, which closes
      Page(c, 20 + f * 6, 5);
      Arrow(c, 70, 20, Blue);
      Padlock(c, 110, 10, f < 6 ? 6 : 0);
      break;
    case 136:  // decrypting: the lock opens, the page comes out
      Padlock(c, 20, 10, f < 2 ? 0 : 6);
      Arrow(c, 60, 20, Blue);
      Page(c, 90 + f * 6, 5);
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
        int drop = f < 5 ? f * 4 : 16 - (f - 5) * 6;
        c.Fill(95, -6 + drop, 6, 10, Dark);  // the handle
        c.Fill(90, 4 + drop, 16, 5, Red);    // the stamp's face
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
void BitmapInfo(Writer& w, int width, int height, std::uint32_t imageSize) {
  w.U32(40);
  w.U32(static_cast<std::uint32_t>(width));
  w.U32(static_cast<std::uint32_t>(height));  // bottom-up
  w.U16(1);
  w.U16(8);
  w.U32(0);  // BI_RGB
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

std::vector<std::uint8_t> Clip(int id) {
  const std::uint32_t frameSize = static_cast<std::uint32_t>(Stride(kWidth, 8) * kHeight);
  const std::uint32_t fps = 8;
  Writer w;
  std::size_t riff = w.Open("RIFF");
  w.Tag("AVI ");
  std::size_t hdrl = w.Open("LIST");
  w.Tag("hdrl");
  std::size_t avih = w.Open("avih");
  w.U32(1000000 / fps);  // microseconds per frame
  w.U32(frameSize * fps);
  w.U32(0);
  w.U32(0x10);  // AVIF_HASINDEX
  w.U32(kFrames);
  w.U32(0);
  w.U32(1);  // streams
  w.U32(frameSize);
  w.U32(kWidth);
  w.U32(kHeight);
  for (int i = 0; i < 4; ++i) w.U32(0);
  w.Close(avih);
  std::size_t strl = w.Open("LIST");
  w.Tag("strl");
  std::size_t strh = w.Open("strh");
  w.Tag("vids");
  w.Tag("DIB ");
  w.U32(0);  // flags
  w.U16(0);  // priority
  w.U16(0);  // language
  w.U32(0);  // initial frames
  w.U32(1);  // scale
  w.U32(fps);
  w.U32(0);  // start
  w.U32(kFrames);
  w.U32(frameSize);
  w.U32(0xFFFFFFFF);  // quality
  w.U32(0);           // sample size
  w.U16(0);
  w.U16(0);
  w.U16(kWidth);
  w.U16(kHeight);
  w.Close(strh);
  std::size_t strf = w.Open("strf");
  BitmapInfo(w, kWidth, kHeight, frameSize);
  w.Close(strf);
  w.Close(strl);
  w.Close(hdrl);
  std::size_t movi = w.Open("LIST");
  const std::size_t moviTag = w.Mark();
  w.Tag("movi");
  std::vector<std::uint32_t> offsets;
  for (int f = 0; f < kFrames; ++f) {
    offsets.push_back(static_cast<std::uint32_t>(w.Mark() - moviTag));
    std::size_t frame = w.Open("00db");
    Pixels(w, Draw(id, f));
    w.Close(frame);
  }
  w.Close(movi);
  std::size_t idx1 = w.Open("idx1");
  for (std::uint32_t offset : offsets) {
    w.Tag("00db");
    w.U32(0x10);  // AVIIF_KEYFRAME
    w.U32(offset);
    w.U32(frameSize);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_media <folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  bool ok = true;
  for (int id : {110, 136, 137, 138, 139, 142})
    ok = Save(folder + "/clip" + std::to_string(id) + ".avi", Clip(id)) && ok;
  ok = Save(folder + "/bitmap105.bmp", CarrierBitmap()) && ok;
  if (!ok) std::fprintf(stderr, "make_media: cannot write into %s\n", folder.c_str());
  return ok ? 0 : 1;
}
