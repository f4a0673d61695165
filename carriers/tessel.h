// The Tessel token layer: the token's 16-byte response to a challenge,
// computed by the token from its "NCXDATA" data file (deciphered here under
// the token's serial number) through its two keyed-hash steps; and the
// token error texts shown after "Ошибка: " in the carrier dialog.
//
// ---- the 272-byte request block (kTesselRequest, carriers/drivers/tessel_driver.h)
//   0..3    the selected token's identifier (from the select request)
//   4..7    zero
//   8..9    first 16-bit parameter  } the request's first 4 data bytes,
//   10..11  second 16-bit parameter } little-endian, 0 when absent
//   12..13  the request code
//   14..15  the number of further data bytes (at most 256)
//   16..    the further data bytes
// The block is zeroed after each call.
//
// Requests used (code: data -> answer): 3 begin (1) / end (2) an exchange
// -> status; 258 serial number -> 8 bytes; 260 directory entry (directory,
// entry index) -> 8 bytes: identifier u16, size u32, type u8, one byte not
// interpreted (types: 0 none, 1 directory); 261 select file (directory,
// entry index) -> status; 263 read the selected file (word offset, byte
// length <= 64) -> the bytes; 273 keyed hash of one 80-byte block with the
// selected key file -> 16 bytes. The root directory is 0.
//
// The token is not serialised across processes (its driver answers 21,
// "in use by another application", and the layer retries).
#pragma once
#include <cstdint>

namespace nc::carriers {

// Token error codes (the texts: TesselStatusText).
inline constexpr std::uint32_t kTesselOk = 0;
inline constexpr std::uint32_t kTesselNoDriver = 1;
inline constexpr std::uint32_t kTesselBadDriverVersion = 2;
inline constexpr std::uint32_t kTesselAccessDenied = 4;
inline constexpr std::uint32_t kTesselNotFound = 6;
inline constexpr std::uint32_t kTesselDetached = 7;
inline constexpr std::uint32_t kTesselExchangeError = 8;
inline constexpr std::uint32_t kTesselNoDirectory = 9;
inline constexpr std::uint32_t kTesselShortResponse = 13;
inline constexpr std::uint32_t kTesselBadParameter = 17;
inline constexpr std::uint32_t kTesselBusy = 21;
inline constexpr std::uint32_t kTesselUnknownResponse = 255;
inline constexpr std::uint32_t kTesselWrongToken = 0x80000001;
inline constexpr std::uint32_t kTesselBadDataFormat = 0x80000002;
inline constexpr std::uint32_t kTesselBadDataVersion = 0x80000003;

inline constexpr std::uint32_t kTesselMinDriverVersion = 256;
inline constexpr std::uint32_t kTesselSelectAttempts = 10;
inline constexpr std::uint32_t kTesselBackoffUnitMs = 16;  // waits of (rand mod 10) units
inline constexpr std::uint32_t kTesselRootEntries = 100;
inline constexpr std::uint32_t kTesselDataFileSize = 46;
inline constexpr std::uint32_t kTesselResponseSize = 16;

// The response of the first token found to `challenge` (its first
// min(challengeLength, 4) bytes are used); 0 on success, else a token error.
// `out` (16 bytes) is written only on success.
std::uint32_t TesselResponse(std::uint8_t* out, const std::uint8_t* challenge,
                             std::uint32_t challengeLength);
// The text of a token error (the table in tessel.cpp), in the library's
// encoding, cut to the buffer.
void TesselStatusText(char* buffer, std::uint32_t size, std::uint32_t code);

// The token's answer to a request, as a token error: a status byte's low 5
// bits mapped (0->0, 1->4, 2->5, 3->3, 4->9, 5->10, 6->11, 7->12, 8->14,
// 9->15, 10->16, 11->17, 12->20, other->255).
std::uint32_t TesselErrorOfStatus(std::uint8_t status);
// A failing control call as a token error: access denied (5) 4, invalid
// handle (6) 7, invalid parameter (87) 17, anything else 8.
std::uint32_t TesselErrorOfControl(std::uint32_t windowsError);

}  // namespace nc::carriers
