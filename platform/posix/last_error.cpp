#include "platform/last_error.h"

namespace nc::platform {

namespace {
thread_local std::uint32_t t_lastError = 0;
}

std::uint32_t GetLastErrorCode() { return t_lastError; }
void SetLastErrorCode(std::uint32_t code) { t_lastError = code; }

}  // namespace nc::platform
