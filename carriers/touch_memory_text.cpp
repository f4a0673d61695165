// Texts of the Touch Memory library: the 13-row error table in six forms
// (Russian and English, each in code page 866, code page 1251 and UTF-16)
// plus UTF-8, and the library's own messages.
//
// The texts are written once, as UTF-16 literals; the code page 866, UTF-16
// and UTF-8 forms are made from them at compile time, the code page 1251
// form from the UTF-8 one by the platform's conversion. Only ASCII and the
// Russian letters occur, so code page 866 needs no table: a text with any
// other character stops the build.
#include "carriers/touch_memory_text.h"

#include <cstring>

#include "carriers/touch_memory.h"
#include "platform/library_text.h"
#include "platform/text_1251.h"

namespace nc::carriers {

namespace {

constexpr std::size_t kFormBytes = 256;  // each form of each text

struct Forms {
  char oem[kFormBytes] = {};
  char16_t wide[kFormBytes / 2] = {};
  char utf8[kFormBytes] = {};
  std::uint32_t units = 0;      // characters (one byte each in the code pages)
  std::uint32_t utf8Bytes = 0;  // bytes of the UTF-8 form
};

consteval char Byte(unsigned value) { return static_cast<char>(static_cast<unsigned char>(value)); }

// Code page 866: А..п at 0x80, р..я at 0xE0, Ё 0xF0, ё 0xF1.
consteval char Oem(char16_t c) {
  if (c < 0x80) return Byte(c);
  if (c >= u'А' && c <= u'п') return Byte(0x80 + (c - u'А'));
  if (c >= u'р' && c <= u'я') return Byte(0xE0 + (c - u'р'));
  if (c == u'Ё') return Byte(0xF0);
  if (c == u'ё') return Byte(0xF1);
  throw "a character code page 866 is not given here";
}

template <std::size_t N>
consteval Forms MakeForms(const char16_t (&text)[N]) {
  Forms f;
  std::size_t out = 0;
  for (std::size_t i = 0; i + 1 < N; ++i) {
    char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDFFF) throw "only characters of the basic plane";
    f.oem[i] = Oem(c);
    f.wide[i] = c;
    if (c < 0x80) {
      f.utf8[out++] = Byte(c);
    } else if (c < 0x800) {
      f.utf8[out++] = Byte(0xC0 | (c >> 6));
      f.utf8[out++] = Byte(0x80 | (c & 0x3F));
    } else {
      f.utf8[out++] = Byte(0xE0 | (c >> 12));
      f.utf8[out++] = Byte(0x80 | ((c >> 6) & 0x3F));
      f.utf8[out++] = Byte(0x80 | (c & 0x3F));
    }
    if (out >= kFormBytes || i + 1 >= kFormBytes / 2) throw "text too long for its form";
  }
  f.units = static_cast<std::uint32_t>(N - 1);
  f.utf8Bytes = static_cast<std::uint32_t>(out);
  return f;
}

struct Row {
  std::uint32_t code;
  Forms russian;
  Forms english;
};

// Searched in this order; the last row stands for every code not listed.
constexpr Row kRows[] = {
    {kTmSuccess, MakeForms(u"Нет ошибки"), MakeForms(u"Success")},
    {kTmBadFunction, MakeForms(u"Некорректный номер функции"),
     MakeForms(u"Bad function code requested")},
    {kTmAdapterBusy, MakeForms(u"Адаптер Touch Memory используется другим приложением"),
     MakeForms(u"The Touch Memory adaptor is busy by another application")},
    {kTmBadHandle, MakeForms(u"Указан некорректный описатель адаптера"),
     MakeForms(u"Incorrect handle of Touch Memory adaptor had been passed")},
    {kTmExchangeError, MakeForms(u"Ошибка при обмене данными с прибором Touch Memory"),
     MakeForms(u"Data exchange error")},
    {kTmInvalidParameters, MakeForms(u"Указаны неверные параметры при вызове функции"),
     MakeForms(u"Invalid parameters had been used")},
    {kTmInitError,
     MakeForms(
         u"Ошибка инициализации библиотеки взаимодействия с драйвером адаптеров Touch Memory"),
     MakeForms(u"Touch Memory library initialization error")},
    {kTmNotSupported, MakeForms(u"Запрошенная функция не поддерживается адаптером"),
     MakeForms(u"Requested function is not support by Touch Memory adaptor")},
    {kTmNotDs1991, MakeForms(u"Использующийся прибор не DS1991"),
     MakeForms(u"Not DS1991 had been used")},
    {kTmDriverNotLoaded, MakeForms(u"Драйвер поддержки адаптеров Touch Memory не загружен"),
     MakeForms(u"Touch Memory support driver had not been loaded")},
    {kTmUnknownDevice, MakeForms(u"Был использован прибор Touch Memory неизвестного типа"),
     MakeForms(u"Unknow device type")},
    {kTmAdapterNotFound, MakeForms(u"Адаптер Toucm Memory не найден"),
     MakeForms(u"Touch Memory adaptor not found")},
    {kTmUnknownError, MakeForms(u"Неизвестная ошибка"), MakeForms(u"Unknow error")},
};
constexpr std::size_t kRowCount = sizeof kRows / sizeof kRows[0];
static_assert(kRowCount == 13);

const Row& RowOf(std::uint32_t code) {
  for (const Row& row : kRows) {
    if (row.code == code) return row;
  }
  return kRows[kRowCount - 1];
}

// The library's own messages.
constexpr Forms kCaption = MakeForms(u"ZQVTMD: Библиотека функций работы с VTMD.VXD.");
constexpr Forms kDriverNotLoaded = MakeForms(u"Драйвер VTMD.VXD не загружен.");
constexpr Forms kInternalInitError =
    MakeForms(u"Ошибка при иниализации внутренних структур данных.");
constexpr Forms kMappingError =
    MakeForms(u"Ошибка в параметре %s секции %s файла %s.\nПараметр будет проигнорирован.");

}  // namespace

namespace tm_text {
std::string Caption() { return platform::LibraryText(kCaption.utf8); }
std::string DriverNotLoaded() { return platform::LibraryText(kDriverNotLoaded.utf8); }
std::string InternalInitError() { return platform::LibraryText(kInternalInitError.utf8); }
std::string MappingErrorFormat() { return platform::LibraryText(kMappingError.utf8); }
}  // namespace tm_text

std::uint32_t TmErrorText(std::uint32_t code, void* buffer, std::uint32_t size,
                          std::uint32_t form) {
  const Row& row = RowOf(code);
  const Forms& text = (form & kTmTextEnglish) != 0 ? row.english : row.russian;
  const void* source;
  std::uint32_t unit = 1;
  std::uint32_t units = text.units;
  if ((form & kTmTextOem) != 0) {
    source = text.oem;
  } else if ((form & kTmTextAnsi) != 0) {
    // From the UTF-8 form; one byte per character, as in code page 866.
    if (buffer != nullptr && size > 0)
      platform::Utf8To1251(text.utf8, text.utf8Bytes, static_cast<char*>(buffer), size);
    return text.units;
  } else if ((form & kTmTextUtf8) != 0) {
    source = text.utf8;
    units = text.utf8Bytes;
  } else {
    source = text.wide;
    unit = 2;
  }
  std::uint32_t bytes = units * unit;
  if (buffer == nullptr || size < unit) return bytes;

  std::uint32_t copied = size / unit - 1;  // room for the terminator
  if (copied > units) copied = units;
  if (unit == 1 && source == text.utf8) {
    // Not into the middle of a character: back up to its first byte.
    while (copied > 0 && copied < units &&
           (static_cast<unsigned char>(text.utf8[copied]) & 0xC0) == 0x80) {
      --copied;
    }
  } else if (unit == 2 && copied > 0 && copied < units && text.wide[copied - 1] >= 0xD800 &&
             text.wide[copied - 1] <= 0xDBFF) {
    --copied;  // a high surrogate without its pair
  }
  auto* out = static_cast<unsigned char*>(buffer);
  std::memcpy(out, source, copied * unit);
  std::memset(out + copied * unit, 0, unit);
  return bytes;
}

}  // namespace nc::carriers
