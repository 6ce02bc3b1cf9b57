#include "app/console_ports.h"

#include <windows.h>
#include <objbase.h>

#include <algorithm>

#include "base/text.h"

namespace tavik {

void ConsoleHost::JoinComApartment() {
  // Never left: the worker thread ends with the scan.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

std::string FormatScanReport(const std::vector<ResultsRow>& rows,
                             const std::vector<std::u16string>& messages) {
  std::string report = FormatRowsAsTsv(rows);
  for (const auto& message : messages) {
    report += Utf16ToUtf8(message);
    report.push_back('\n');
  }
  return report;
}

bool WriteOutput(OutputStream stream, std::string_view utf8) {
  const HANDLE handle = ::GetStdHandle(
      stream == OutputStream::kOut ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  DWORD mode = 0;
  if (::GetConsoleMode(handle, &mode)) {
    const std::u16string wide = Utf8ToUtf16(utf8);
    size_t done = 0;
    while (done < wide.size()) {
      DWORD written = 0;
      const DWORD chunk =
          static_cast<DWORD>(std::min<size_t>(wide.size() - done, 8192));
      if (!::WriteConsoleW(handle, wide.data() + done, chunk, &written,
                           nullptr) ||
          written == 0) {
        return false;
      }
      done += written;
    }
    return true;
  }
  size_t done = 0;
  while (done < utf8.size()) {
    DWORD written = 0;
    const DWORD chunk =
        static_cast<DWORD>(std::min<size_t>(utf8.size() - done, 1 << 20));
    if (!::WriteFile(handle, utf8.data() + done, chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace tavik
