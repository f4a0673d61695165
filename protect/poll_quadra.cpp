// The NorvexQuadra factor: the master-key record of the first dongle of
// our developer identifier that carries one, unmasked by its cell 0,
// enciphered under itself and folded into the key.
#include <cstring>

#include "carriers/quadra.h"
#include "protect/factor_contribution.h"
#include "protect/factor_readers.h"
#include "protect/master_key.h"
#include "protect/status_line.h"
#include "zq/wipe.h"

namespace nc::protect {
namespace {

// Cell 8 names the record's layout, cell 9 marks it.
constexpr std::uint16_t kLayoutCell = 8;
constexpr std::uint16_t kMarkCell = 9;
constexpr std::uint16_t kMaskCell = 0;
constexpr std::uint16_t kRecordMark = 0x0100;
constexpr std::uint16_t kRecordCells = 8;
// "Port not found": after dongles were found, the client's way of saying
// there are no more.
constexpr std::uint16_t kPortNotFound = 9;

// The 16-byte record of the dongle found last, when it carries one:
// kQuadraOk and *carries set; any access error is returned.
std::uint16_t ReadRecord(std::uint8_t* packet, std::uint8_t record[16], bool* carries) {
  *carries = false;
  std::uint16_t layout = 0;
  std::uint16_t status = carriers::QuadraReadCell(packet, kLayoutCell, &layout);
  if (status != carriers::kQuadraOk || (layout != 2 && layout != 3)) return status;
  std::uint16_t mark = 0;
  status = carriers::QuadraReadCell(packet, kMarkCell, &mark);
  if (status != carriers::kQuadraOk || mark != kRecordMark) return status;

  const std::uint16_t start = layout == 3 ? 12 : 32;
  std::uint16_t cells[kRecordCells] = {};
  std::uint16_t mask = 0;
  for (std::uint16_t i = 0; i < kRecordCells && status == carriers::kQuadraOk; ++i) {
    status = carriers::QuadraReadCell(packet, static_cast<std::uint16_t>(start + i), &cells[i]);
  }
  if (status == carriers::kQuadraOk) status = carriers::QuadraReadCell(packet, kMaskCell, &mask);
  if (status == carriers::kQuadraOk) {
    for (int i = 0; i < kRecordCells; ++i) {
      std::uint16_t word = static_cast<std::uint16_t>(cells[i] ^ mask);
      record[2 * i] = static_cast<std::uint8_t>(word & 0xFF);
      record[2 * i + 1] = static_cast<std::uint8_t>(word >> 8);
    }
    *carries = true;
  }
  SecureWipe(cells, sizeof cells);
  SecureWipe(&mask, sizeof mask);
  return status;
}

// One attempt over the dongles: kQuadraOk with the record, or the status
// that ended it; *found tells whether any dongle was found at all.
std::uint16_t FindRecord(CarrierAuthState& state, std::uint8_t record[16], bool* found) {
  *found = false;
  if ((state.obtained.load() & kObtainedQuadraAccess) == 0) {
    std::uint16_t status = carriers::QuadraOpen();
    if (status != carriers::kQuadraOk) return status;
    state.obtained.fetch_or(kObtainedQuadraAccess);
  }
  std::uint8_t packet[carriers::kQuadraPacketSize] = {};
  std::uint16_t status = carriers::QuadraFindFirst(packet);
  while (status == carriers::kQuadraOk) {
    *found = true;
    bool carries = false;
    status = ReadRecord(packet, record, &carries);
    if (status != carriers::kQuadraOk || carries) break;
    status = carriers::QuadraFindNext(packet);  // another dongle of ours, perhaps
  }
  SecureWipe(packet, sizeof packet);
  return status;
}

void ShowQuadraError(CarrierAuthState& state, std::uint16_t status, bool found) {
  // No dongle at all, or none left after the ones found: the carrier is absent.
  const bool absent = status == carriers::kQuadraNotFound || (status == kPortNotFound && found);
  const std::uint16_t shown = absent ? carriers::kQuadraNotFound : status;
  if (shown == state.lastQuadraStatus) return;  // a steady error does not flicker
  state.lastQuadraStatus = shown;
  if (absent) {
    ShowStatusText(state, platform::kCarrierQuadraStatus,
                   "Присоедините ключ NorvexQuadra к разъему порта");
    return;
  }
  char line[kStatusLineSize];
  std::uint32_t prefix = BeginErrorLine(line);
  carriers::QuadraStatusText(line + prefix, kStatusLineSize - prefix, status);
  WriteStatusLine(state, platform::kCarrierQuadraStatus, line);
}

}  // namespace

void PollQuadra(CarrierAuthState& state) {
  if ((state.code & kFactorQuadra) == 0 || (state.obtained.load() & kFactorQuadra) != 0) return;
  std::uint8_t record[16] = {};
  bool found = false;
  std::uint16_t status = FindRecord(state, record, &found);
  if (status != carriers::kQuadraOk) {
    SecureWipe(record, sizeof record);
    ShowQuadraError(state, status, found);
    return;
  }
  SelfKeyedDesCbc(record, sizeof record);
  AcceptContribution(state, kFactorQuadra, platform::kCarrierQuadraStatus, record, sizeof record);
}

}  // namespace nc::protect
