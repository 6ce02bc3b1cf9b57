// Editing the exclude file from the program's windows: the exclude list
// dialog's Add and Remove, and the results list's "Exclude Key" command.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/worker_gate.h"
#include "engine/ui_ports.h"
#include "platform/file_system.h"

namespace tavik {

// Longest text a 33000-unit work buffer holds before its terminator.
inline constexpr size_t kWorkTextMaxChars = 32999;

// The entries the dialog shows, in file order: every line of the exclude
// file that is not blank, untrimmed.
std::vector<std::u16string> LoadDialogEntries(FileSystem& files);

enum class AddOutcome { kNoPath, kAlreadyPresent, kAdded };

// Judges an Add: no path typed, an entry equal to root + "\" + path (letters
// A to Z compared without case), or a new exclusion, returned in
// `exclusion` (cut to the work buffer's length).
AddOutcome CheckNewExclusion(const std::vector<std::u16string>& listed,
                             std::u16string_view root, std::u16string_view path,
                             std::u16string& exclusion);

// Appends a line break and `exclusion` to the exclude file as UTF-16LE text,
// creating the file (with its byte-order mark) when it is missing or empty.
// False when the file cannot be written.
bool AppendExclusion(FileSystem& files, std::u16string_view exclusion);

// Where the selected entries are deleted, one after another: at most the
// first 100 of the ascending indices, each moved up by the deletions before
// it.
std::vector<int32_t> RemovalPositions(const std::vector<int32_t>& selected);

// The "Exclude Key" command on the results list's row `selectionMark` (-1:
// none): appends the row's root key and path to an existing exclude file and
// removes every row under it. True when the key was added (the caller then
// says so). Refused while a worker holds the window: a fix reads a row in
// several steps, and a row removed in between would shift another row,
// perhaps an unchecked one, under its index.
bool ExcludeSelectedRow(FileSystem& files, ResultsView& results,
                        int32_t selectionMark, const WorkerGate& workers);

// The root key and path of a results row joined by a backslash, each cell
// cut to the work buffer's length.
std::u16string RowKeyText(ResultsView& results, int32_t row);

}  // namespace tavik
