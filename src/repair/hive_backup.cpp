#include "repair/hive_backup.h"

#include <algorithm>
#include <vector>

#include "base/text.h"
#include "engine/registry_key.h"
#include "repair/reg_export.h"

namespace tavik {

const std::array<HiveTableRow, kHiveCount> kHiveTable = {{
    {kHkeyLocalMachine, u"BCD00000000", HiveMount::kFixed,
     u"\\TavikRegCBCD.tvk", u"\\BTavikRegCBCD.tvk"},
    {kHkeyLocalMachine, u"Components", HiveMount::kFixed,
     u"\\TavikRegCCOM.tvk", u"\\BTavikRegCCOM.tvk"},
    {kHkeyLocalMachine, u"System", HiveMount::kFixed, u"\\TavikRegCSys.tvk",
     u"\\BTavikRegCSys.tvk"},
    {kHkeyLocalMachine, u"Sam", HiveMount::kFixed, u"\\TavikRegCSam.tvk",
     u"\\BTavikRegCSam.tvk"},
    {kHkeyLocalMachine, u"Software", HiveMount::kFixed,
     u"\\TavikRegCSoft.tvk", u"\\BTavikRegCSoft.tvk"},
    {kHkeyUsers, u".Default", HiveMount::kFixed, u"\\TavikRegCDefault.tvk",
     u"\\BTavikRegCDefault.tvk"},
    {kHkeyUsers, u"S-1-5-20", HiveMount::kFixed, u"\\TavikRegCNetwork.tvk",
     u"\\BTavikRegCNetwork.tvk"},
    {kHkeyUsers, u"S-1-5-19", HiveMount::kFixed, u"\\TavikRegCLocal.tvk",
     u"\\BTavikRegCLocal.tvk"},
    {kHkeyUsers, u"S-1-5-20_Classes", HiveMount::kFixed,
     u"\\TavikRegCNetworkClass.tvk", u"\\BTavikRegCNetworkClass.tvk"},
    {kHkeyUsers, u"S-1-5-19_Classes", HiveMount::kFixed,
     u"\\TavikRegCLocalClass.tvk", u"\\BTavikRegCLocalClass.tvk"},
    {kHkeyUsers, nullptr, HiveMount::kUser, u"\\TavikRegCUser.tvk",
     u"\\BTavikRegCUser.tvk"},
    {kHkeyUsers, nullptr, HiveMount::kUserClass, u"\\TavikRegCUserClass.tvk",
     u"\\BTavikRegCUserClass.tvk"},
}};

namespace {

constexpr size_t kComponentsRow = 1;
constexpr char16_t kComponentsMountName[] = u"COMPONENTS";
constexpr char16_t kComponentsHiveFile[] = u"\\System32\\Config\\Components";
constexpr char16_t kHiveListPath[] =
    u"System\\CurrentControlSet\\Control\\HiveList";
// How HiveList names a hive mounted below HKEY_USERS.
constexpr std::u16string_view kUserHivePrefix = u"\\REGISTRY\\USER\\";
constexpr char16_t kTitle[] = u"Tavik Registry Cleaner";
constexpr char16_t kRestoringTitle[] =
    u"Restoring Registry - Tavik Registry Cleaner";
constexpr char16_t kNoBackup[] = u"Registry Backup not available.";
constexpr char16_t kRestoreFailed[] = u"Unable to restore registry.";
constexpr char16_t kRestoreChangedNothing[] = u" The registry stays unchanged.";
constexpr char16_t kRestoreLeftScheduled[] =
    u" These hives will still be replaced from the backup at the next start "
    u"of Windows:";
constexpr char16_t kRestored[] =
    u"Registry Restored Successfully. Please restart your computer.";
// A longer token is no date this program wrote.
constexpr size_t kMaxDateChars = 12;
// Where the restore mounts a backup file for a moment to see that it is a
// hive.
constexpr char16_t kScratchMount[] = u"TavikRestoreCheck";

std::u16string WindowsDirectory(FileSystem& files) {
  std::vector<char16_t> buffer(kTextBufferChars, 0);
  const uint32_t length = files.GetWindowsDirectoryW(
      buffer.data(), static_cast<uint32_t>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return {};
  return std::u16string(buffer.data(), length);
}

bool Exists(FileSystem& files, const std::u16string& path) {
  return files.GetFileAttributesW(path.c_str()) != kInvalidFileAttributes;
}

// Creates the backup folder and any missing folder above it.
bool EnsureFolder(FileSystem& files, const std::u16string& folder) {
  const uint32_t attributes = files.GetFileAttributesW(folder.c_str());
  if (attributes != kInvalidFileAttributes) {
    return (attributes & kFileAttributeDirectory) != 0;
  }
  const size_t cut = folder.rfind(u'\\');
  if (cut != std::u16string::npos && cut > 2 &&
      !EnsureFolder(files, folder.substr(0, cut))) {
    return false;
  }
  if (files.CreateDirectoryW(folder.c_str())) return true;
  // Someone else may have made it meanwhile.
  const uint32_t now = files.GetFileAttributesW(folder.c_str());
  return now != kInvalidFileAttributes && (now & kFileAttributeDirectory) != 0;
}

// Deletes a file and tells whether its name is free now: a file that was
// already gone counts as deleted.
bool FreeName(FileSystem& files, const std::u16string& path) {
  files.DeleteFileW(path.c_str());
  return !Exists(files, path);
}

// Opens the mount key of a hive table row with KEY_READ and names the hive
// ("HKEY_USERS\S-1-5-19"). ERROR_FILE_NOT_FOUND when the hive is not
// mounted (for the user rows: not in the hive list); any other error is a
// mounted hive that cannot be opened.
int32_t OpenHive(Registry& registry, SystemInfo& system,
                 const HiveTableRow& row, RegistryKey& key,
                 std::u16string* hiveName = nullptr) {
  std::u16string name;
  if (row.mount == HiveMount::kFixed) {
    name = row.mountKey;
  } else if (FindUserHive(registry, system, name,
                          row.mount == HiveMount::kUserClass ? 1 : 0) != 0) {
    return kErrorFileNotFound;
  }
  if (hiveName != nullptr) {
    *hiveName = std::u16string(RegFileRootName(row.root)) + u"\\" + name;
  }
  return RegistryKey::Open(registry, row.root, name.c_str(), kKeyRead, key);
}

// "Components" is mounted only while something uses it: load it from its
// file under HKEY_LOCAL_MACHINE. It stays loaded until Windows restarts.
// ERROR_FILE_NOT_FOUND when it cannot be loaded.
int32_t LoadComponents(Registry& registry, FileSystem& files,
                       SystemInfo& system, RegistryKey& key) {
  const std::u16string windows = WindowsDirectory(files);
  if (windows.empty()) return kErrorFileNotFound;
  const std::u16string file = windows + kComponentsHiveFile;
  if (registry.RegLoadKeyW(kHkeyLocalMachine, kComponentsMountName,
                           file.c_str()) != kErrorSuccess) {
    return kErrorFileNotFound;
  }
  return OpenHive(registry, system, kHiveTable[kComponentsRow], key);
}

// A hive the restore schedules, with its three files.
struct PlannedHive {
  RegistryKey key;
  std::u16string name;      // "HKEY_LOCAL_MACHINE\System"
  std::u16string newFile;   // the backup file
  std::u16string oldFile;   // receives the live hive
  std::u16string undoFile;  // receives it again when the replace is undone
};

// Whether the registry mounts `file` as a hive: loaded under a scratch name
// and unloaded again, so the replace at the next start cannot meet a
// damaged file.
bool LoadsAsHive(Registry& registry, const std::u16string& file) {
  // A scratch mount left by a check that never ended would refuse the load.
  registry.RegUnLoadKeyW(kHkeyLocalMachine, kScratchMount);
  if (registry.RegLoadKeyW(kHkeyLocalMachine, kScratchMount, file.c_str()) !=
      kErrorSuccess) {
    // Wine leaves the mount key of a file it could not read.
    registry.RegUnLoadKeyW(kHkeyLocalMachine, kScratchMount);
    return false;
  }
  // A hive left mounted would keep its file busy for the replace.
  return registry.RegUnLoadKeyW(kHkeyLocalMachine, kScratchMount) ==
         kErrorSuccess;
}

// Checks the whole set before anything is scheduled: every mounted hive has
// a backup file that mounts as a hive, and the name that receives the live
// hive is free. False when the set cannot restore this machine whole.
bool PlanRestore(Registry& registry, FileSystem& files, SystemInfo& system,
                 const std::u16string& folder, std::vector<PlannedHive>& plan) {
  for (const HiveTableRow& row : kHiveTable) {
    PlannedHive hive;
    // "Components" is replaced only when it is mounted now.
    const int32_t opened = OpenHive(registry, system, row, hive.key, &hive.name);
    if (opened == kErrorFileNotFound) continue;
    if (opened != kErrorSuccess) return false;
    hive.newFile = folder + row.backupFile;
    hive.oldFile = folder + row.replacedFile;
    hive.undoFile = folder + u"\\U" + (row.backupFile + 1);
    // A missing file fails here already, whatever a load would make of it.
    if (!Exists(files, hive.newFile) || !LoadsAsHive(registry, hive.newFile) ||
        !FreeName(files, hive.oldFile)) {
      return false;
    }
    plan.push_back(std::move(hive));
  }
  return true;
}

// Takes a scheduled replace back: the hive is scheduled again with the file
// that just received its live contents, and the last replace of a hive is
// the one that counts at the next start.
bool UndoReplace(Registry& registry, FileSystem& files,
                 const PlannedHive& hive) {
  return FreeName(files, hive.undoFile) &&
         registry.RegReplaceKeyW(hive.key.get(), nullptr,
                                 hive.oldFile.c_str(),
                                 hive.undoFile.c_str()) == kErrorSuccess;
}

// The failure report, telling what the next start of Windows will do.
std::u16string RestoreFailure(const std::vector<std::u16string>& scheduled) {
  std::u16string text = kRestoreFailed;
  if (scheduled.empty()) return text + kRestoreChangedNothing;
  text += kRestoreLeftScheduled;
  for (const std::u16string& hive : scheduled) text += u"\n" + hive;
  return text;
}

// Saves a hive where only SYSTEM and the Administrators can read it.
int32_t SaveProtected(Registry& registry, FileSystem& files, RegKey key,
                      const std::u16string& file) {
  const SecurityAttributes security{kBackupSecurity};
  const int32_t saved = registry.RegSaveKeyExW(key, file.c_str(), &security,
                                               kRegNoCompression);
  if (saved != kErrorUnknownRevision) return saved;
  // Wine takes the attributes for the descriptor itself and refuses them,
  // but saves over an existing file, which keeps its permissions: the file
  // is made first with the protection and the hive saved into it. Windows
  // takes the attributes, and would refuse the existing file.
  uint32_t error = 0;
  const uintptr_t made =
      files.CreateNewFileWithSecurity(file.c_str(), &security, error);
  if (made == 0) return static_cast<int32_t>(error);
  files.CloseFile(made);
  return registry.RegSaveKeyExW(key, file.c_str(), nullptr, kRegNoCompression);
}

// Writes a new file of the backup set with the set's protection.
bool WriteProtected(FileSystem& files, const std::u16string& path,
                    const std::vector<uint8_t>& bytes) {
  const SecurityAttributes security{kBackupSecurity};
  uint32_t error = 0;
  const uintptr_t file =
      files.CreateNewFileWithSecurity(path.c_str(), &security, error);
  if (file == 0) return false;
  uint32_t written = 0;
  const bool whole = files.WriteFile(file, bytes.data(),
                                     static_cast<uint32_t>(bytes.size()),
                                     written) &&
                     written == bytes.size();
  files.CloseFile(file);
  return whole;
}

std::vector<uint8_t> DateBytes(const SystemTime& time) {
  // Written through a narrow text stream: one byte per character.
  const std::string text = std::to_string(time.day) + "/" +
                           std::to_string(time.month) + "/" +
                           std::to_string(time.year);
  return std::vector<uint8_t>(text.begin(), text.end());
}

bool IsCSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::u16string BackupFolder(FileSystem& files) {
  const std::u16string windows = WindowsDirectory(files);
  if (windows.empty()) return {};
  const std::u16string folder = windows + u"\\system32\\config";
  return folder.size() < kTextBufferChars ? folder : std::u16string();
}

int32_t DeleteOldBackups(FileSystem& files) {
  const std::u16string folder = BackupFolder(files);
  if (folder.empty()) return -1;
  int32_t result = 0;
  for (const HiveTableRow& row : kHiveTable) {
    if (!FreeName(files, folder + row.backupFile)) result = -1;
  }
  return result;
}

int32_t BackupHives(Registry& registry, FileSystem& files, SystemInfo& system) {
  const std::u16string folder = BackupFolder(files);
  if (folder.empty()) return -1;
  if (!EnsureFolder(files, folder)) return -1;
  // The old date goes first: until the new set is complete no date may
  // describe the files in the folder.
  const std::u16string timeFile = folder + kBackupTimeFile;
  files.DeleteFileW(timeFile.c_str());
  if (Exists(files, timeFile)) return -1;
  // A file of the old set left behind would join the new one undated.
  if (DeleteOldBackups(files) != 0) return -1;

  bool complete = true;
  for (size_t index = 0; index < kHiveTable.size() && complete; ++index) {
    const HiveTableRow& row = kHiveTable[index];
    RegistryKey key;
    int32_t opened = OpenHive(registry, system, row, key);
    if (opened == kErrorFileNotFound && index == kComponentsRow) {
      opened = LoadComponents(registry, files, system, key);
    }
    if (opened == kErrorFileNotFound) continue;  // not mounted: nothing to save
    if (opened != kErrorSuccess) {
      complete = false;  // a mounted hive the set would lack
      continue;
    }
    if (SaveProtected(registry, files, key.get(), folder + row.backupFile) !=
        kErrorSuccess) {
      complete = false;
    }
  }
  if (complete) {
    SystemTime now;
    system.GetLocalTime(&now);
    complete = WriteProtected(files, timeFile, DateBytes(now));
  }
  if (!complete) {
    // A failed save may leave an empty file; a partial set restores nothing
    // the fix would delete, so none of it is kept.
    (void)DeleteOldBackups(files);
    files.DeleteFileW(timeFile.c_str());
    return -1;
  }
  return 0;
}

int32_t FindUserHive(Registry& registry, SystemInfo& system,
                     std::u16string& out, int32_t classes) {
  // The hives of the user this process runs as: HKEY_CURRENT_USER and the
  // classes merged into HKEY_CLASSES_ROOT, which the fix changes. Other
  // users signed in at the same time keep theirs.
  std::u16string user;
  if (!system.CurrentUserSidText(user) || user.empty()) return -1;
  const std::u16string mount = classes != 0 ? user + u"_Classes" : user;
  // The whole name must match: "...-1001" is not "...-10010".
  const std::u16string wanted = std::u16string(kUserHivePrefix) + mount;
  RegistryKey key;
  if (RegistryKey::Open(registry, kHkeyLocalMachine, kHiveListPath, kKeyRead,
                        key) != kErrorSuccess) {
    return -1;
  }
  std::vector<char16_t> name(kTextBufferChars);
  for (uint32_t index = 0;; ++index) {
    uint32_t nameChars = static_cast<uint32_t>(name.size());
    if (registry.RegEnumValueW(key.get(), index, name.data(), &nameChars,
                               nullptr, nullptr, nullptr) != kErrorSuccess) {
      return -1;
    }
    const std::u16string_view valueName(name.data(), nameChars);
    if (!EqualsIgnoreAsciiCase(valueName, wanted)) continue;
    // As HiveList writes it; HKEY_USERS ignores case anyway.
    out.assign(valueName.substr(kUserHivePrefix.size()));
    return 0;
  }
}

std::optional<std::u16string> ReadBackupTime(FileSystem& files) {
  const std::u16string folder = BackupFolder(files);
  if (folder.empty()) return std::nullopt;
  std::vector<uint8_t> bytes;
  if (!files.ReadFileBytes((folder + kBackupTimeFile).c_str(), bytes)) {
    return std::nullopt;
  }
  // A text-mode stream ends at Ctrl+Z; the token is the first run of
  // characters between white space, one byte each.
  size_t at = 0;
  size_t end = 0;
  while (end < bytes.size() && bytes[end] != 0x1A) ++end;
  while (at < end && IsCSpace(bytes[at])) ++at;
  std::u16string token;
  while (at < end && !IsCSpace(bytes[at]) && token.size() <= kMaxDateChars) {
    token.push_back(static_cast<char16_t>(bytes[at++]));
  }
  if (token.size() > kMaxDateChars) return std::nullopt;
  return token;
}

int32_t RestoreHives(Registry& registry, FileSystem& files, SystemInfo& system,
                     std::vector<std::u16string>* leftScheduled) {
  const std::u16string folder = BackupFolder(files);
  if (folder.empty()) return -1;
  std::vector<PlannedHive> plan;
  if (!PlanRestore(registry, files, system, folder, plan) || plan.empty()) {
    return -1;
  }
  for (size_t done = 0; done < plan.size(); ++done) {
    const PlannedHive& hive = plan[done];
    if (registry.RegReplaceKeyW(hive.key.get(), nullptr, hive.newFile.c_str(),
                                hive.oldFile.c_str()) == kErrorSuccess) {
      continue;
    }
    // Old and new hives must not meet at the next start: undo what was
    // scheduled, and name what could not be undone.
    std::vector<std::u16string> left;
    for (size_t back = done; back-- > 0;) {
      if (!UndoReplace(registry, files, plan[back])) {
        left.insert(left.begin(), plan[back].name);
      }
    }
    if (leftScheduled != nullptr) *leftScheduled = std::move(left);
    return -1;
  }
  return 0;
}

int32_t RestoreThreadMain(const RepairEnvironment& environment) {
  WorkerHost& host = environment.host;
  host.SetBusyState(0, 1);
  const std::optional<std::u16string> date = ReadBackupTime(environment.files);
  if (!date) {
    host.ShowMessage(kNoBackup);
  } else if (host.AskYesNo(u"Registry Backup dated " + *date +
                           u" (DD/MM/YYYY) is available. Do you want to "
                           u"restore Registry to specified date?")) {
    host.SetTitle(kRestoringTitle);
    std::vector<std::u16string> leftScheduled;
    const int32_t result =
        RestoreHives(environment.registry, environment.files,
                     environment.system, &leftScheduled);
    host.ShowMessage(result != 0 ? RestoreFailure(leftScheduled) : kRestored);
  }
  host.EnterIdleState();
  host.SetTitle(kTitle);
  return 0;
}

}  // namespace tavik
