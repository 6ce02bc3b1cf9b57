// The hive backup set in the Windows configuration folder: saving every
// hive before a fix, and scheduling the saved files to replace the live
// hives at the next start of Windows.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "repair/repair_environment.h"

namespace tavik {

// Which key of the hive table a row names.
enum class HiveMount {
  kFixed,      // `mountKey` itself
  kUser,       // the user profile hive found by FindUserHive
  kUserClass,  // the user classes hive found by FindUserHive
};

struct HiveTableRow {
  RegKey root;
  const char16_t* mountKey;  // null for the user hives
  HiveMount mount;
  const char16_t* backupFile;    // appended to the backup folder as written
  const char16_t* replacedFile;  // receives the live hive at a restore
};

inline constexpr size_t kHiveCount = 12;
extern const std::array<HiveTableRow, kHiveCount> kHiveTable;

inline constexpr char16_t kBackupTimeFile[] = u"\\TavikBackupTime.tvk";

// Every file of the backup set is made with this descriptor: owned by the
// Administrators, readable and writable by SYSTEM and the Administrators
// only, nothing inherited from the folder (where users may read). The hives
// hold the password hashes of SAM and the secrets of SYSTEM.
inline constexpr char16_t kBackupSecurity[] =
    u"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)";

// The Windows folder + "\system32\config"; empty when the Windows folder
// cannot be had.
std::u16string BackupFolder(FileSystem& files);

// Saves the twelve hives that are mounted and then dates the set, every
// file made with kBackupSecurity. 0 when every mounted hive was saved and
// the date written; -1 otherwise (a file of the old set that cannot be
// deleted, a mounted hive that cannot be opened or saved), in which case no
// backup-time file is left, and no file of a partial set that could be
// deleted.
int32_t BackupHives(Registry& registry, FileSystem& files, SystemInfo& system);

// Deletes the twelve backup files (not the time file, not the replaced-hive
// files). 0 when none of them is left, -1 when one could not be deleted.
int32_t DeleteOldBackups(FileSystem& files);

// The HKEY_USERS name of the profile hive (classes 0) or classes hive
// (classes 1) of the user the process runs as, when the hive list holds it
// ("S-1-5-21-...-1001", "S-1-12-1-..._Classes"). 0 and `out` set, or -1 and
// `out` unchanged.
int32_t FindUserHive(Registry& registry, SystemInfo& system,
                     std::u16string& out, int32_t classes);

// The date text of the backup-time file, or none when there is no file or
// its first token is longer than 12 characters.
std::optional<std::u16string> ReadBackupTime(FileSystem& files);

// Schedules each backup file to replace its hive, all or none: every
// mounted hive must have a backup file that mounts as a hive, and a free
// name for the hive it replaces, before the first is scheduled. 0 when all
// mounted hives (at least one) were scheduled; -1 otherwise. When a replace
// fails midway the ones before it are undone; `leftScheduled` receives the
// names ("HKEY_LOCAL_MACHINE\\System") of those that could not be, which the
// next start of Windows will still replace.
int32_t RestoreHives(Registry& registry, FileSystem& files, SystemInfo& system,
                     std::vector<std::u16string>* leftScheduled = nullptr);

// The restore worker: the question, the restore and its report. Returns 0.
int32_t RestoreThreadMain(const RepairEnvironment& environment);

}  // namespace tavik
