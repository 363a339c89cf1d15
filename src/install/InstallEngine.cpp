#include "install/InstallEngine.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <vector>

#include "core/Format.h"
#include "core/InstallRecord.h"
#include "core/PathDelimiters.h"
#include "core/ScopeExit.h"
#include "core/Sha256.h"
#include "core/Stream.h"
#include "formstream/BinaryData.h"
#include "formstream/CompressedBinaryData.h"
#include "formstream/FileLayer.h"
#include "formstream/TextEncoding.h"
#include "install/RunAndWait.h"
#include "win32/ComSupport.h"
#include "win32/FileSystem.h"
#include "win32/Handles.h"
#include "win32/Log.h"
#include "win32/Registry.h"
#include "win32/Security.h"

namespace qv {

namespace {
constexpr DWORD kStepPauseMs = 100;
constexpr DWORD kInstallerEndWaitMs = 30000;
// SHA-256 of no bytes: sms.txt as the installation makes it.
constexpr char kEmptyHash[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

// One flagged step: a payload written to a file, or (no payload) the empty
// sms.txt; the logs directory is step 0's own.
struct InstallStep {
  int flag;
  const char* fileName;
  TCompressedBinaryData* TInstallPayloads::*payload;
  int position;
};

constexpr InstallStep kFileSteps[] = {
    {2, "qvdaemon.exe", &TInstallPayloads::qvdaemon, 3},
    {3, "qvmanager.exe", &TInstallPayloads::qvmanager, 4},
    {4, "qvscanner.exe", &TInstallPayloads::qvscanner, 5},
    {5, "qvmonitor.exe", &TInstallPayloads::qvmonitor, 6},
    {6, "licence.txt", &TInstallPayloads::licence, 7},
    {7, "readme.txt", &TInstallPayloads::readme, 8},
    {8, "register.txt", &TInstallPayloads::register2, 9},
    {9, "sms.txt", nullptr, 10},
    {10, "quolvex.chm", &TInstallPayloads::helpfile, 11},
    {11, "uninstall.exe", &TInstallPayloads::uninstall, 12},
};

// The configuration values and their defaults, in the order written.
struct DefaultSetting {
  const char* name;
  const char* text;  // null for a number
  int32_t number;
};
constexpr const char* kSettingsKey = "\\SOFTWARE\\Quolvex";
constexpr DefaultSetting kDefaultSettings[] = {
    {"Codepage", "windows-1251", 0},
    {"Trusted", "", 0},
    {"TrustedIP", "", 0},
    {"MailboxList", "main.mbx", 0},
    {"WebPath", "", 0},
    {"KillFile", "", 0},
    {"ScannerHost", "127.0.0.1", 0},
    {"WapPath", "", 0},
    {"Codeword", "", 0},
    {"Keywords", "failed, invalid, bogus, rdeliver, ERR", 0},
    {"MonitorExecPath", "", 0},
    {"IgnoreMbxAfter", nullptr, 2048},
    {"ScannerPort", nullptr, 3385},
    {"WholeLimit", nullptr, 131072},
    {"Base64Limit", nullptr, 65536},
    {"EventReload", nullptr, 5000},
    {"DSizeLimit", nullptr, 2097152},
    {"ViewKeyLog", nullptr, 0},
    {"MbxEnabled", nullptr, 0},
    {"RestrictBulk", nullptr, 0},
    {"BulkMax", nullptr, 10},
    {"BulkInterval", nullptr, 0},
    {"BulkPause", nullptr, 2},
    {"MinThreads", nullptr, 1},
    {"MaxThreads", nullptr, 0},
    {"MaxQueue", nullptr, 2},
    {"CPULimit", nullptr, 10},
    {"PurgeLogsAfterDays", nullptr, 131072},
    {"MonitorInterval", nullptr, 60000},
};

// The two services, registered in this order by their own programs.
struct ServiceEntry {
  const char* key;
  const char* program;
};
constexpr ServiceEntry kServices[] = {
    {"\\SYSTEM\\CurrentControlSet\\Services\\Quolvex", "qvdaemon.exe"},
    {"\\SYSTEM\\CurrentControlSet\\Services\\QuolvexMonitor", "qvmonitor.exe"},
};
constexpr const char* kServiceInstallArguments = "/install /silent";
constexpr const char* kStartValue = "Start";
constexpr int32_t kStartOnDemand = 3;

// The program menu and its shortcuts, in creation order.
constexpr const char* kShellFoldersKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* kCommonProgramsValue = "Common Programs";
struct MenuShortcut {
  const char* fileName;
  const char* target;
  const char* description;
};
constexpr MenuShortcut kMenuShortcuts[] = {
    {"Quolvex Manager.lnk", "qvmanager.exe", "Quolvex Manager"},
    {"License agreement.lnk", "licence.txt", "Lincense agreement"},
    {"Readme.lnk", "readme.txt", "Readme"},
    {"How to register.lnk", "register.txt", "How to register"},
    {"Uninstall program.lnk", "uninstall.exe", "Uninstall program"},
};

// The install record, beside the uninstaller that reads it, and the
// product's entry in the system's list of installed programs.
constexpr const char* kRecordName = "install.rec";
constexpr const char* kUninstallKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QuolvexAntivirus";

// The journal names keys below HKEY_LOCAL_MACHINE without the leading "\\".
std::string JournalKey(const char* key) {
  return key + 1;
}

// The record is UTF-8; the installer's paths are in the ANSI code page.
std::string Utf8(const std::string& ansi) {
  return WideToUtf8(AnsiToWide(ansi));
}

// A path in the record has one spelling, the one the uninstaller accepts:
// separators single and backslashes, none at the end (a drive root keeps
// its own), whatever the administrator typed ("D:\Dir\", "D:\\Dir").
std::string CanonicalPath(const std::string& path) {
  std::string out;
  for (size_t i = 0; i < path.size(); ++i) {
    const bool separator = path[i] == '\\' || path[i] == '/';
    // A share's name starts with two.
    if (separator && !out.empty() && out.back() == '\\' && i > 1)
      continue;
    out += separator ? '\\' : path[i];
  }
  while (out.size() > 3 && out.back() == '\\')
    out.pop_back();
  return out;
}

std::string RecordPath(const std::string& path) {
  return Utf8(CanonicalPath(path));
}

// The hash of the file as it is on disk now, read without following a link.
std::string FileHash(const std::string& path, uint64_t& size) {
  std::string hash;
  if (!HashFile(path, hash, &size))
    throw EReadError(
        Format("Cannot read file \"%s\". %s", path, SystemErrorText(::GetLastError())));
  return hash;
}

// A file of at most a few megabytes, read whole without following a link;
// false when there is none or it cannot be read.
bool ReadSmallFile(const std::string& path, std::string& text) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  LARGE_INTEGER size{};
  if (!file || ::GetFileSizeEx(file.get(), &size) == FALSE || size.QuadPart > (16 << 20))
    return false;
  text.resize(static_cast<size_t>(size.QuadPart));
  DWORD got = 0;
  return text.empty() || (::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got,
                                     nullptr) != FALSE &&
                          got == text.size());
}

bool IsTemporaryFile(const std::string& path) {
  const std::string suffix = TemporaryFileName("");
  return path.size() > suffix.size() && SameText(path.substr(path.size() - suffix.size()), suffix);
}

bool IsInside(const std::string& path, const std::string& prefix) {
  return path.size() > prefix.size() && SameText(path.substr(0, prefix.size()), prefix);
}

}  // namespace

TInstallEngine::TInstallEngine(TInstallProgress& progress, TInstallCancel& cancel,
                               const std::string& journalParent)
    : progress_(progress), cancel_(cancel), journal_(journalParent) {}

bool TInstallEngine::RollBack() {
  // Asked from inside the wait for a service installer: its program must
  // end before its files and its service can go, or it would register a
  // service after the roll-back looked. One that does not end in time is
  // ended, and waited for.
  if (runningInstaller_ != nullptr &&
      ::WaitForSingleObject(runningInstaller_, kInstallerEndWaitMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(runningInstaller_, ERROR_INSTALL_USEREXIT);
    ::WaitForSingleObject(runningInstaller_, kInstallerEndWaitMs);
  }
  return journal_.RollBack();
}

bool TInstallEngine::WriteFiles(const TDestination& destination, const TInstallPayloads& payloads) {
  const std::string& prefix = destination.prefix;
  // Status text, the user's turn, then - unless the abort was just
  // confirmed there - the action, the progress and the pause.
  const auto step = [&](int flag, const std::string& status, int position, auto action) {
    if (cancel_.Cancelled())
      return false;
    if (StepFlags[static_cast<size_t>(flag)])
      return true;
    progress_.StatusChanged(status);
    cancel_.LetUserAct();
    if (cancel_.Cancelled())
      return false;
    action();
    progress_.ProgressChanged(position);
    if (!Hurry)
      ::Sleep(kStepPauseMs);
    StepFlags[static_cast<size_t>(flag)] = true;
    return true;
  };

  const bool logsStep = step(0, "Creating directory: \\logs", 1, [&] {
    const std::string logs = prefix + "logs";
    if (IsExistingDirectory(logs))
      return Log("Kept directory " + logs + " (it exists)");
    journal_.DirectoryCreated(logs);
    CreateProtectedDirectory(logs, TProtection::kInstalled);
    Log("Created directory " + logs);
  });
  if (!logsStep)
    return false;
  for (const InstallStep& s : kFileSteps) {
    const std::string path = prefix + s.fileName;
    const bool done = step(s.flag, "Copying file: " + path, s.position, [&] {
      if (s.payload == nullptr) {
        // sms.txt is filled in by hand: an existing one is kept as it is.
        if (FileExists(path))
          return Log("Kept " + path + " (it exists)");
        journal_.FileCreated(path);
        journal_.Written(path, kEmptyHash);
        TSecurityDescriptor security(TProtection::kInstalled);
        UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, security.Attributes(),
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        Log("Wrote " + path + " (0 bytes, SHA-256 " + kEmptyHash + ")");
        return;
      }
      journal_.BeforeSave(path);
      (payloads.*s.payload)->SaveToFile(path, journal_.Files(DefaultFileLayer()));
    });
    if (!done)
      return false;
  }
  return !cancel_.Cancelled();
}

bool TInstallEngine::RunFinalPhase(const TDestination& destination) {
  const auto stage = [&](const char* status, auto action) {
    progress_.StatusChanged(status);
    cancel_.LetUserAct();
    if (cancel_.Cancelled())
      return false;
    if (!Hurry)
      ::Sleep(kStepPauseMs);
    action();
    return true;
  };
  return stage("Writing registry settings", [&] { WriteDefaultSettings(); }) &&
         stage("Registering services", [&] { RegisterServices(destination); }) &&
         stage("Creating program menu", [&] { CreateProgramMenu(destination); }) &&
         !cancel_.Cancelled();
}

void TInstallEngine::WriteDefaultSettings() {
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  if (!registry.PathExists(kSettingsKey))
    journal_.KeyCreated(JournalKey(kSettingsKey));
  for (const DefaultSetting& setting : kDefaultSettings) {
    // Opened afresh for every value; a key that cannot be opened or made
    // (no rights) leaves the defaults unwritten without a word.
    if (!registry.OpenPath(kSettingsKey, true))
      continue;
    // Whatever the administrator set before, of whatever type, stays.
    if (registry.HasValue(setting.name)) {
      Log(std::string("Kept value HKLM") + kSettingsKey + "\\" + setting.name + " (it exists)");
      continue;
    }
    journal_.ValueCreated(JournalKey(kSettingsKey), setting.name,
                          setting.text != nullptr
                              ? TInstallJournal::TValueData::Text(setting.text)
                              : TInstallJournal::TValueData::Number(setting.number));
    if (setting.text != nullptr)
      registry.WriteText(setting.name, setting.text);
    else
      registry.WriteNumber(setting.name, setting.number);
    Log(std::string("Wrote value HKLM") + kSettingsKey + "\\" + setting.name + " = " +
        (setting.text != nullptr ? "\"" + std::string(setting.text) + "\""
                                 : std::to_string(setting.number)));
  }
}

void TInstallEngine::RegisterServices(const TDestination& destination) {
  if (registeringServices_)
    return;
  registeringServices_ = true;
  const ScopeExit reset([this] { registeringServices_ = false; });

  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  for (const ServiceEntry& service : kServices) {
    // An abort confirmed while an installer ran has removed the
    // destination: nothing more is started from it, nor registered.
    if (cancel_.Cancelled())
      return;
    if (!registry.PathExists(service.key)) {
      const std::string key = JournalKey(service.key);
      // By full path inside the destination: a bare name would let the
      // shell find a program of that name somewhere else. The program
      // registers itself by that path, quoted.
      const std::string program = FullPath(destination.prefix + service.program);
      journal_.ServiceRegistered(key.substr(key.rfind('\\') + 1), "\"" + program + "\"");
      Log("Registering service " + key.substr(key.rfind('\\') + 1) + ": \"" + program + "\" " +
          kServiceInstallArguments);
      const int32_t code = RunAndWait(program, kServiceInstallArguments, destination.typed,
                                      kRunHidden, &runningInstaller_);
      Log(program + " ended with " + std::to_string(code));
      if (cancel_.Cancelled())
        return;
    } else {
      Log(std::string("Service key HKLM") + service.key + " exists; nothing registered");
    }
    if (registry.OpenPath(service.key, false) && registry.HasValue(kStartValue)) {
      journal_.ValueChanged(JournalKey(service.key), kStartValue,
                            TInstallJournal::TValueData::Number(kStartOnDemand));
      registry.WriteNumber(kStartValue, kStartOnDemand);
      Log(std::string("Wrote value HKLM") + service.key + "\\Start = 3");
    }
  }
}

// The program menu's folder of the product, "Quolvex" in the common
// programs; empty when the system names no programs folder that exists.
std::string TInstallEngine::ProgramMenuFolder() {
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  std::string programs;
  if (registry.OpenPath(kShellFoldersKey, false))
    programs = registry.ReadText(kCommonProgramsValue);
  return IsExistingDirectory(programs) ? programs + "\\Quolvex" : std::string();
}

void TInstallEngine::CreateProgramMenu(const TDestination& destination) {
  const std::string folder = ProgramMenuFolder();
  if (folder.empty())
    return;
  if (!IsExistingDirectory(folder)) {
    journal_.DirectoryCreated(folder);
    CreateProtectedDirectory(folder, TProtection::kInstalled);
  }
  // Targets and working directory are full paths even for a destination
  // typed relative to where Setup was started: a shortcut is resolved from
  // wherever it is opened.
  for (const MenuShortcut& shortcut : kMenuShortcuts) {
    journal_.BeforeWrite(folder + "\\" + shortcut.fileName);
    CreateShortcut(destination.fullPrefix + shortcut.target, folder + "\\" + shortcut.fileName, "",
                   shortcut.description, destination.fullPrefix);
    ProtectFile(folder + "\\" + shortcut.fileName, TProtection::kInstalled);
    // What the roll-back may remove: only the shortcut as made here.
    std::string hash;
    if (HashFile(folder + "\\" + shortcut.fileName, hash))
      journal_.Written(folder + "\\" + shortcut.fileName, hash);
    Log("Created shortcut " + folder + "\\" + shortcut.fileName + " to " + destination.fullPrefix +
        shortcut.target);
  }
}

void TInstallEngine::CreateShortcut(const std::string& target, const std::string& shortcutFile,
                                    const std::string& arguments, const std::string& description,
                                    const std::string& workingDirectory) {
  ComPtr<IUnknown> object;
  // The identifiers come from the headers, not from the system's library
  // of every identifier, which would add 40 KB to the program.
  constexpr CLSID kShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  OleCheck(::CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              __uuidof(IUnknown), reinterpret_cast<void**>(object.put())));
  const ComPtr<IShellLinkA> link = object.As<IShellLinkA>(__uuidof(IShellLinkA));
  const ComPtr<IPersistFile> file = object.As<IPersistFile>(__uuidof(IPersistFile));
  // A setter or save that fails costs this shortcut only; the next is
  // still attempted.
  link->SetPath(target.c_str());
  link->SetArguments(arguments.c_str());
  link->SetDescription(description.c_str());
  link->SetWorkingDirectory(workingDirectory.c_str());
  // Shell paths are in the system's ANSI code page; the file-persistence
  // interface takes UTF-16 (the framework installs the system's conversion).
  const std::u16string path = AnsiToWide(shortcutFile);
  file->Save(reinterpret_cast<LPCOLESTR>(path.c_str()), FALSE);
}

void TInstallEngine::RecordInstallation(const TDestination& destination) {
  const std::string recordPath = destination.fullPrefix + kRecordName;
  TInstallRecord record;
  record.destination = RecordPath(FullPath(destination.typed));
  uint64_t bytes = 0;
  for (const TInstallJournal::Entry& e : journal_.Entries()) {
    switch (e.kind) {
      case TInstallJournal::kDestination:
      case TInstallJournal::kDirectory:
        record.directories.push_back(RecordPath(e.first));
        break;
      case TInstallJournal::kFile:
      case TInstallJournal::kReplaced:
        // The temporary files payloads were written to are gone by now.
        if (IsTemporaryFile(e.first))
          break;
        // Only the program menu's shortcuts are written outside the
        // destination; sms.txt is hashed empty, so a filled-in one stays.
        if (IsInside(e.first, destination.fullPrefix))
          record.files.push_back({RecordPath(e.first), FileHash(e.first, bytes)});
        else
          record.shortcuts.push_back(RecordPath(e.first));
        break;
      case TInstallJournal::kKey:
        record.keys.push_back(Utf8(e.first));
        break;
      case TInstallJournal::kValue:
        record.values.push_back({Utf8(e.first), Utf8(e.second)});
        break;
      case TInstallJournal::kService:
        record.services.push_back(Utf8(e.first));
        break;
      default:
        break;
    }
  }
  // The services are the product's whoever registered them: an
  // installation over an earlier one finds them there and registers none.
  TRegistry registry;
  registry.SetRoot(HKEY_LOCAL_MACHINE);
  for (const ServiceEntry& service : kServices) {
    const std::string key = JournalKey(service.key);
    const std::string name = key.substr(key.rfind('\\') + 1);
    if (registry.PathExists(service.key) &&
        std::none_of(record.services.begin(), record.services.end(),
                     [&name](const std::string& s) { return SameText(s, name); }))
      record.services.push_back(name);
  }
  // What an earlier installation into this destination made stays the
  // product's, taken only from a record that names nothing else, in a
  // destination nobody but administrators could have written it into; any
  // other adds nothing.
  std::string earlier;
  std::string others;
  if (OthersWhoMayChange(FullPath(destination.typed), others) && others.empty() &&
      ReadSmallFile(recordPath, earlier)) {
    try {
      TInstallRecord found = TInstallRecord::Parse(earlier);
      found.CheckConfined(RecordPath(ProgramMenuFolder()));
      if (SameText(found.destination, record.destination))
        record.Merge(found);
    } catch (const EInstallRecordError&) {
    }
  }

  const std::string text = record.Serialize();
  TMemoryStream bytesOfRecord;
  bytesOfRecord.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  bytesOfRecord.SetPosition(0);
  TBinaryData data(nullptr);
  data.SetData(&bytesOfRecord);
  journal_.BeforeSave(recordPath);
  data.SaveToFile(recordPath, journal_.Files(DefaultFileLayer()));
  ProtectFile(recordPath, TProtection::kInstalled);

  // The entry in the list of installed programs.
  if (!registry.PathExists(kUninstallKey))
    journal_.KeyCreated(JournalKey(kUninstallKey));
  if (!registry.OpenPath(kUninstallKey, true))
    throw ERegistryException(Format("Failed to set data for '%s'", "DisplayName"));
  const std::string uninstaller = destination.fullPrefix + "uninstall.exe";
  // Journalled first, so that a run that dies before the commit puts back
  // what an earlier installation wrote there.
  const auto journalled = [&](const char* name, const TInstallJournal::TValueData& data) {
    if (registry.HasValue(name))
      journal_.ValueChanged(JournalKey(kUninstallKey), name, data);
    else
      journal_.ValueCreated(JournalKey(kUninstallKey), name, data);
  };
  const auto writeText = [&](const char* name, const std::string& value) {
    journalled(name, TInstallJournal::TValueData::Text(value));
    registry.WriteText(name, value);
    Log(std::string("Wrote value HKLM") + kUninstallKey + "\\" + name + " = \"" + value + "\"");
  };
  const auto writeNumber = [&](const char* name, int32_t value) {
    journalled(name, TInstallJournal::TValueData::Number(value));
    registry.WriteNumber(name, value);
    Log(std::string("Wrote value HKLM") + kUninstallKey + "\\" + name + " = " +
        std::to_string(value));
  };
  writeText("DisplayName", "Quolvex Antivirus 5.0");
  writeText("DisplayVersion", "5.0");
  writeText("Publisher", "Quolvex Software Laboratory");
  writeText("InstallLocation", CanonicalPath(FullPath(destination.typed)));
  writeText("UninstallString", "\"" + uninstaller + "\"");
  writeText("QuietUninstallString", "\"" + uninstaller + "\" /quiet");
  writeText("DisplayIcon", destination.fullPrefix + "qvmanager.exe,0");
  writeNumber("EstimatedSize", static_cast<int32_t>((bytes + 1023) / 1024));
  writeNumber("VersionMajor", 5);
  writeNumber("VersionMinor", 0);
  writeNumber("NoModify", 1);
  writeNumber("NoRepair", 1);
}

}  // namespace qv
