// The automation link with a controlling program: the named section and
// mutex that the controller creates, the command line that selects automated
// mode, and the 100 ms timer that takes the controller's requests.
#pragma once

#include <windows.h>

#include <string_view>

namespace tavik {

class CRegistryCleanerDlg;

inline constexpr wchar_t kAutomationSectionName[] =
    L"Global\\TavikAutoFixSharedMem";
inline constexpr wchar_t kAutomationMutexName[] = L"Global\\TavikAutoFixMutex";
inline constexpr UINT_PTR kAutomationTimerId = 100;
inline constexpr UINT kAutomationTimerMs = 100;

// Counts the command line's elements: one selects interactive mode; more
// set AutomationMode to their number, open the link and start the timer.
// 0 to go on, -1 when the link could not be opened.
int ProcessCommandLine(CRegistryCleanerDlg& window);

// Opens the controller's section and mutex (5 attempts for each name, each
// failed one followed by a 1-second wait; an object whose owner is not trusted counts as missing) and
// maps the section. 0 on success, -1 otherwise.
int OpenAutomationLink();

// Timer 100: serves the controller's requests when the mutex can be had
// within 10 ms (an abandoned mutex is had too).
void AutomationTick(CRegistryCleanerDlg& window);

// Posts a status text to the section; dropped silently when the mutex
// cannot be had within 1000 ms or the link is not open.
void ReportAutomationStatus(std::u16string_view text);

// The close box: hides the window in automated mode, ends it otherwise;
// then stores the backup switch.
void HandleClose(CRegistryCleanerDlg& window);

// Keeps the window hidden while AutomationMode is above 2.
void SuppressShow(WINDOWPOS& position);

}  // namespace tavik
