// The automation link's shared section as the program sees it: the field
// offsets of the 2368-byte wire format, exact reads of the request fields,
// the bounded status write, what one timer tick does with the requests, and
// whose objects the program obeys. The mutex is taken by the caller; nothing
// here blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavik {

// Whoever can write the section starts fixes in an elevated program, so a
// section or mutex is obeyed only when its owner (a SID in string form) is
// the Administrators group, SYSTEM or the program's own user. An empty
// owner (none recorded, or it could not be read) is never obeyed.
bool IsTrustedLinkOwner(std::u16string_view ownerSid,
                        std::u16string_view programUserSid);

inline constexpr size_t kAutomationSectionBytes = 2368;
inline constexpr size_t kStatusReadyOffset = 0;
inline constexpr size_t kExitRequestOffset = 4;
inline constexpr size_t kStopRequestOffset = 8;
inline constexpr size_t kStatusTextOffset = 212;
inline constexpr size_t kStatusTextUnits = 1024;  // with the terminator
inline constexpr size_t kScanRequestOffset = 2320;
inline constexpr size_t kFixRequestOffset = 2324;
inline constexpr size_t kShowRequestOffset = 2328;

// A 32-bit little-endian field read or written as one whole value (the
// controller may change it at any time it holds the mutex; the program holds
// it too whenever it calls these).
uint32_t ReadSectionField(const uint8_t* section, size_t offset);
void WriteSectionField(uint8_t* section, size_t offset, uint32_t value);

// A request counts only when its field holds exactly 1.
bool IsRequestSet(const uint8_t* section, size_t offset);

// Copies at most 1023 units of `text` and a terminating zero into
// `statusText`, then sets `statusReady` to 1. Nothing beyond the field's
// 2048 bytes is written, whatever the text's length.
void WriteStatus(uint8_t* section, std::u16string_view text);

// What a tick may ask of the window.
class AutomationActions {
 public:
  virtual ~AutomationActions() = default;
  // Whether a scan, fix or restore worker is still running.
  virtual bool WorkerRunning() = 0;
  virtual void StartScan() = 0;
  virtual void StartFix() = 0;
  virtual void ShowWindow() = 0;
  virtual void Exit() = 0;
  virtual void Stop() = 0;
};

// One tick's work with the mutex held: a scan request, else a fix request
// (a scan wins over a fix in the same tick); then show, exit, stop, in this
// order. Scan and fix requests that find a worker still running stay set and
// are served by a later tick, so two workers never run at once.
void ServeAutomationRequests(uint8_t* section, AutomationActions& actions);

}  // namespace tavik
