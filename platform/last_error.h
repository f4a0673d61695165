// The thread's last-error value. Failures below the operations travel as
// Windows error codes on both platforms: GetLastError/SetLastError on
// Windows, a thread-local value elsewhere.
#pragma once
#include <cstdint>

namespace nc::platform {

// Codes the library uses (the Windows values).
inline constexpr std::uint32_t kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t kErrorInvalidData = 13;
inline constexpr std::uint32_t kErrorWriteFault = 29;
inline constexpr std::uint32_t kErrorReadFault = 30;
inline constexpr std::uint32_t kErrorHandleEof = 38;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorUnknownRevision = 1305;
inline constexpr std::uint32_t kErrorLogonFailure = 1326;
inline constexpr std::uint32_t kErrorFileCorrupt = 1392;
inline constexpr std::uint32_t kErrorInvalidUserBuffer = 1784;

std::uint32_t GetLastErrorCode();
void SetLastErrorCode(std::uint32_t code);

}  // namespace nc::platform
