// The Touch Memory library's own message texts (inside the library only).
#pragma once
#include <string>

namespace nc::carriers::tm_text {

// In the library's text encoding (code page 1251 on Windows, UTF-8
// elsewhere).
std::string Caption();
std::string DriverNotLoaded();
std::string InternalInitError();
// "Ошибка в параметре <key> секции <section> файла <file>.\nПараметр будет
// проигнорирован." with the three names (ASCII) filled in.
std::string MappingErrorFormat();

}  // namespace nc::carriers::tm_text
