#include "app/automation_section.h"

#include <algorithm>

namespace tavik {

bool IsTrustedLinkOwner(std::u16string_view ownerSid,
                        std::u16string_view programUserSid) {
  constexpr std::u16string_view kAdministrators = u"S-1-5-32-544";
  constexpr std::u16string_view kSystem = u"S-1-5-18";
  if (ownerSid.empty()) return false;
  return ownerSid == kAdministrators || ownerSid == kSystem ||
         ownerSid == programUserSid;
}

uint32_t ReadSectionField(const uint8_t* section, size_t offset) {
  const volatile uint8_t* bytes = section + offset;
  return static_cast<uint32_t>(bytes[0]) |
         static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 |
         static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteSectionField(uint8_t* section, size_t offset, uint32_t value) {
  volatile uint8_t* bytes = section + offset;
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool IsRequestSet(const uint8_t* section, size_t offset) {
  return ReadSectionField(section, offset) == 1;
}

void WriteStatus(uint8_t* section, std::u16string_view text) {
  const size_t units = std::min(text.size(), kStatusTextUnits - 1);
  uint8_t* field = section + kStatusTextOffset;
  for (size_t i = 0; i < units; ++i) {
    field[2 * i] = static_cast<uint8_t>(text[i] & 0xFF);
    field[2 * i + 1] = static_cast<uint8_t>(text[i] >> 8);
  }
  field[2 * units] = 0;
  field[2 * units + 1] = 0;
  WriteSectionField(section, kStatusReadyOffset, 1);
}

void ServeAutomationRequests(uint8_t* section, AutomationActions& actions) {
  if (IsRequestSet(section, kScanRequestOffset)) {
    if (!actions.WorkerRunning()) {
      WriteSectionField(section, kScanRequestOffset, 0);
      actions.StartScan();
    }
  } else if (IsRequestSet(section, kFixRequestOffset)) {
    if (!actions.WorkerRunning()) {
      WriteSectionField(section, kFixRequestOffset, 0);
      actions.StartFix();
    }
  }
  if (IsRequestSet(section, kShowRequestOffset)) {
    WriteSectionField(section, kShowRequestOffset, 0);
    actions.ShowWindow();
  }
  if (IsRequestSet(section, kExitRequestOffset)) {
    actions.Exit();
  }
  if (IsRequestSet(section, kStopRequestOffset)) {
    actions.Stop();
  }
}

}  // namespace tavik
