// The memory-mapping values of "TavoTM.INI": which byte addresses of a
// device family's memory are reserved for others.
//
// A value lists ranges "first-last" in decimal, separated by commas, with
// blanks allowed around the numbers; first <= last <= the family's last
// address. Read from left to right: skip blanks; at the end, success; a
// number; then only blanks or digits up to '-' (digits there are passed
// over); after '-' a number; then only blanks or digits up to ',' or the
// end; a ',' is passed over. Anything else fails the value.
#pragma once
#include <cstdint>

namespace nc::carriers {

// Bitmap of one family: one bit per byte address (address a is bit a % 8 of
// byte a / 8), set = usable. The largest family has 8192 bytes.
inline constexpr std::uint32_t kTmMappingBitmapBytes = 1024;

// Parses `text` for a family whose last byte address is `lastAddress`
// (at most 8191). On success clears the listed addresses' bits in a bitmap
// that starts all set, copies its first (lastAddress + 1) / 8 bytes into
// `bitmap` and returns true; on failure leaves `bitmap` as it was.
bool TmParseMapping(const char* text, std::uint32_t lastAddress, std::uint8_t* bitmap);

}  // namespace nc::carriers
