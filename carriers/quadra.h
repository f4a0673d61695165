// The NorvexQuadra dongle layer: the client calls of carriers/drivers/
// quadra_client.h under the cross-process mutex "NorvexQuadraForCM", with
// the retry policy, the decoy reads around each cell read, and the status
// texts shown after "Ошибка: " in the carrier dialog.
//
// Retry policy of every client call (waits through platform::CurrentClock):
// status 0 succeeds; 12 ends at once; after 7, 8, 30 or 46 wait 1000 ms and
// call again, at most kQuadraBusyWaits such waits per layer operation; after
// any other status wait 1000 ms and call again, the call being made at most
// kQuadraOtherCalls times for such statuses; the last status is returned.
//
// Process-wide state: the mutex handle, open between QuadraOpen and
// QuadraClose. Calls are made by one thread at a time (the carrier
// dialog's polling thread, or the caller's in silent mode).
#pragma once
#include <cstdint>

#include "carriers/drivers/quadra_client.h"

namespace nc::carriers {

inline constexpr char kQuadraMutexName[] = "NorvexQuadraForCM";
inline constexpr std::uint32_t kQuadraMutexWaitMs = 300000;
inline constexpr std::uint16_t kQuadraDeveloperId = 9766;
inline constexpr std::uint32_t kQuadraPacketSize = drivers::kQuadraPacketSize;
inline constexpr std::uint32_t kQuadraRetryWaitMs = 1000;
inline constexpr std::uint32_t kQuadraBusyWaits = 301;
inline constexpr std::uint32_t kQuadraOtherCalls = 10;

// Statuses the layer itself produces.
inline constexpr std::uint16_t kQuadraOk = 0;
inline constexpr std::uint16_t kQuadraNotFound = 3;
inline constexpr std::uint16_t kQuadraMutexTimeout = 30;
inline constexpr std::uint16_t kQuadraMutexFailed = 31;
inline constexpr std::uint16_t kQuadraNotInitialised = 57;

// Seeds the decoy generator from the clock, creates the mutex and, under
// it, formats, configures (1, 4, 2) and initialises the client. On failure
// the mutex handle is closed (later calls get 57).
std::uint16_t QuadraOpen();
// Under the mutex: formats, configures and initialises `packet` (1028
// bytes) again and finds the first dongle of developer identifier 9766.
std::uint16_t QuadraFindFirst(std::uint8_t* packet);
// Under the mutex: the next dongle of that identifier.
std::uint16_t QuadraFindNext(std::uint8_t* packet);
// Under the mutex: one cell of the dongle found last, between zero to two
// decoy reads of random cells 0..62.
std::uint16_t QuadraReadCell(std::uint8_t* packet, std::uint16_t cell, std::uint16_t* value);
// Closes the mutex handle. Acquisitions the calling thread still holds
// (a fault inside a client call skips the layer's release) are released
// first, so that other processes need not wait for the thread to end.
void QuadraClose();
// The text of a status (the table in quadra.cpp), in the library's
// encoding, cut to the buffer.
void QuadraStatusText(char* buffer, std::uint32_t size, std::uint16_t status);

}  // namespace nc::carriers
