// The Touch Memory library's own message texts (inside the library only).
#pragma once

namespace nc::carriers::tm_text {

// In the library's text encoding (code page 1251 on Windows, UTF-8
// elsewhere).
const char* Caption();
const char* DriverNotLoaded();
const char* InternalInitError();
// "Ошибка в параметре <key> секции <section> файла <file>.\nПараметр будет
// проигнорирован." with the three names (ASCII) filled in.
const char* MappingErrorFormat();

}  // namespace nc::carriers::tm_text
