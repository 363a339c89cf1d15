#include "install/InstallJournal.h"

#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>

#include "core/Component.h"
#include "core/Exceptions.h"
#include "core/Format.h"
#include "core/PathDelimiters.h"
#include "formstream/FileLayer.h"
#include "install/RemoveTree.h"
#include "win32/ComSupport.h"
#include "win32/FileSystem.h"
#include "win32/Log.h"
#include "win32/Security.h"
#include "win32/WindowsFileLayer.h"

namespace qv {

namespace {

constexpr char kRootName[] = "Quolvex Setup";
constexpr char kJournalName[] = "journal.txt";
// Left by a roll-back that kept originals because their file was changed
// since: the folder then holds copies the user may still want.
constexpr char kKeptName[] = "kept.txt";
constexpr char kHeader[] = "Quolvex Setup journal 2";
constexpr size_t kSequenceDigits = 10;
constexpr char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";
// How long a deleted service may take to leave the control manager and the
// registry before its removal is helped along.
constexpr int kServiceGoneTries = 20;
constexpr DWORD kServiceGonePollMs = 100;

EFCreateError CannotCreate(const std::string& path, DWORD error) {
  return CannotCreateError(WindowsFileLayer(), path, error);
}

std::string WithoutTrailingDelimiter(std::string path) {
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
    path.pop_back();
  return path;
}

bool IsSequenceName(const std::string& name) {
  return name.size() == kSequenceDigits &&
         std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string SequenceName(uint32_t sequence) {
  std::string name = std::to_string(sequence);
  return std::string(kSequenceDigits - name.size(), '0') + name;
}

// The numbered folders in root, journals or not.
std::vector<std::string> NumberedFolders(const std::string& root) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry{};
  UniqueFind find(::FindFirstFileA((root + "\\*").c_str(), &entry));
  for (bool more = static_cast<bool>(find); more;
       more = ::FindNextFileA(find.get(), &entry) != FALSE) {
    // A link is not a folder this program made.
    const DWORD attributes = entry.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 && IsSequenceName(entry.cFileName)) {
      names.push_back(entry.cFileName);
    }
  }
  return names;
}

bool WriteAll(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) !=
             FALSE &&
         written == text.size();
}

std::string Line(const TInstallJournal::Entry& entry) {
  std::string line(1, entry.kind);
  for (const std::string* field : {&entry.first, &entry.second, &entry.third, &entry.fourth})
    line += '\t' + *field;
  return line + '\n';
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = line.find(separator, start);
    parts.push_back(line.substr(start, end - start));
    if (end == std::string::npos)
      return parts;
    start = end + 1;
  }
}

std::string Hex(const void* data, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < size; ++i) {
    const auto b = static_cast<const BYTE*>(data)[i];
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

bool FromHex(const std::string& text, std::string& bytes) {
  if (text.size() % 2 != 0)
    return false;
  const auto digit = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]);
    const int low = digit(text[i + 1]);
    if (high < 0 || low < 0)
      return false;
    bytes += static_cast<char>(high * 16 + low);
  }
  return true;
}

// "type:hexadecimal bytes", as a value or a file's attributes and
// descriptor are kept in the journal.
std::string Encode(uint32_t number, const std::string& bytes) {
  return std::to_string(number) + ":" + Hex(bytes.data(), bytes.size());
}

bool Decode(const std::string& text, uint32_t& number, std::string& bytes) {
  const std::vector<std::string> parts = Split(text, ':');
  if (parts.size() != 2 || parts[0].empty())
    return false;
  char* end = nullptr;
  number = static_cast<uint32_t>(std::strtoul(parts[0].c_str(), &end, 10));
  return *end == '\0' && FromHex(parts[1], bytes);
}

// The file's data reaches the disk before anything relies on it.
bool FlushFile(const std::string& path) {
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ::FlushFileBuffers(file.get()) != FALSE;
}

bool IsLink(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool Gone(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A copy's name is the journal's own: a bare file name in its folder.
bool IsBareName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("\\/:") == std::string::npos;
}

constexpr SECURITY_INFORMATION kOwnerAndList =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

// The owner, group and access list of a file, self-relative.
std::string ReadDescriptor(const std::string& path) {
  DWORD size = 0;
  ::GetFileSecurityA(path.c_str(), kOwnerAndList, nullptr, 0, &size);
  std::string bytes(size, '\0');
  if (size == 0 ||
      ::GetFileSecurityA(path.c_str(), kOwnerAndList, bytes.data(), size, &size) == FALSE) {
    return {};
  }
  return bytes;
}

// Gives the restored file its original owner, list and attributes: a
// user's own file stays theirs to edit, a private one private. An owner
// that is not ours to give (the system wants a privilege for that) leaves
// the list still restored.
bool ApplyOriginal(const std::string& path, const std::string& saved) {
  uint32_t attributes = 0;
  std::string descriptor;
  if (!Decode(saved, attributes, descriptor))
    return false;
  if (!descriptor.empty()) {
    auto* sd = reinterpret_cast<PSECURITY_DESCRIPTOR>(descriptor.data());
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (::IsValidSecurityDescriptor(sd) == FALSE ||
        ::GetSecurityDescriptorControl(sd, &control, &revision) == FALSE) {
      return false;
    }
    const SECURITY_INFORMATION inheritance = (control & SE_DACL_PROTECTED) != 0
                                                 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                 : UNPROTECTED_DACL_SECURITY_INFORMATION;
    if (::SetFileSecurityA(path.c_str(), kOwnerAndList | inheritance, sd) == FALSE &&
        ::SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION | inheritance, sd) == FALSE) {
      return false;
    }
  }
  return ::SetFileAttributesA(path.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes) !=
         FALSE;
}

// The original's bytes back into the file itself; copied, not moved, so
// that a roll-back cut short here can start again. The file is opened
// without following a link, and one found there is refused rather than
// written through.
bool Restore(const std::string& copy, const std::string& path) {
  if (IsLink(path))
    return false;
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  UniqueFile source(::CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  UniqueFile target(::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!source || !target || ::GetFileInformationByHandle(target.get(), &info) == FALSE ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      ::SetEndOfFile(target.get()) == FALSE) {
    return false;
  }
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(source.get(), buffer, sizeof buffer, &got, nullptr) != FALSE && got > 0) {
    DWORD put = 0;
    if (::WriteFile(target.get(), buffer, got, &put, nullptr) == FALSE || put != got)
      return false;
  }
  return got == 0 && ::FlushFileBuffers(target.get()) != FALSE;
}

// --- Registry ---------------------------------------------------------------

// A value as it is stored: its type, then its bytes. False when there is
// none; error tells a missing value from one that cannot be read.
bool ReadRawValue(const std::string& key, const std::string& name, uint32_t& type,
                  std::string& data, LONG* error = nullptr) {
  HKEY raw = nullptr;
  LONG result = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, &raw);
  if (result == ERROR_SUCCESS) {
    UniqueRegistryKey handle(raw);
    DWORD size = 0;
    DWORD stored = 0;
    result = ::RegQueryValueExA(handle.get(), name.c_str(), nullptr, &stored, nullptr, &size);
    if (result == ERROR_SUCCESS) {
      data.assign(size, '\0');
      result = ::RegQueryValueExA(handle.get(), name.c_str(), nullptr, &stored,
                                  reinterpret_cast<BYTE*>(data.data()), &size);
      data.resize(size);
      type = stored;
    }
  }
  if (error != nullptr)
    *error = result;
  return result == ERROR_SUCCESS;
}

bool RegistryChange(const std::string& key, const auto& change) {
  HKEY raw = nullptr;
  const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &raw);
  if (opened != ERROR_SUCCESS)
    return Gone(static_cast<DWORD>(opened));
  UniqueRegistryKey handle(raw);
  return change(handle.get());
}

bool DeleteKeyIfEmpty(const std::string& key) {
  HKEY raw = nullptr;
  const LONG opened = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &raw);
  if (opened != ERROR_SUCCESS)
    return Gone(static_cast<DWORD>(opened));
  UniqueRegistryKey handle(raw);
  DWORD subKeys = 0;
  DWORD values = 0;
  if (::RegQueryInfoKeyA(handle.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr,
                         &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  handle.reset();
  // What someone else put into it meanwhile keeps it.
  if (subKeys != 0 || values != 0)
    return true;
  const LONG deleted = ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
  return deleted == ERROR_SUCCESS || Gone(static_cast<DWORD>(deleted));
}

std::string MachineName(const std::string& key, const std::string& name) {
  return "HKEY_LOCAL_MACHINE\\" + key + ", value \"" + name + "\"";
}

// An entry as the log names what it undoes.
std::string Described(const TInstallJournal::Entry& entry) {
  switch (entry.kind) {
    case TInstallJournal::kService:
      return "service " + entry.first;
    case TInstallJournal::kKey:
      return "key HKEY_LOCAL_MACHINE\\" + entry.first;
    case TInstallJournal::kValue:
    case TInstallJournal::kPrevious:
      return MachineName(entry.first, entry.second);
    case TInstallJournal::kReplaced:
      return "original of " + entry.first;
    case TInstallJournal::kDirectory:
    case TInstallJournal::kDestination:
      return "directory " + entry.first;
    default:
      return "file " + entry.first;
  }
}

// --- Services ---------------------------------------------------------------

// A path as the control manager gets it, without its quotes.
std::string Unquoted(std::string path) {
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
    path = path.substr(1, path.size() - 2);
  return path;
}

// Whether the service's key is there; its image path when it is. A key
// that cannot be read counts as there.
bool ServiceKey(const std::string& name, std::string& imagePath) {
  uint32_t type = 0;
  std::string data;
  LONG error = ERROR_SUCCESS;
  if (ReadRawValue(kServicesKey + name, "ImagePath", type, data, &error)) {
    if (type == REG_SZ || type == REG_EXPAND_SZ)
      imagePath = std::string(data.c_str());
    return true;
  }
  HKEY raw = nullptr;
  const LONG opened =
      ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kServicesKey + name).c_str(), 0, KEY_READ, &raw);
  UniqueRegistryKey handle(raw);
  return !Gone(static_cast<DWORD>(opened));
}

void StopService(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (::ControlService(service, SERVICE_CONTROL_STOP, &status) == FALSE)
    return;
  for (int i = 0; i < 100 && status.dwCurrentState != SERVICE_STOPPED; ++i) {
    ::Sleep(50);
    if (::QueryServiceStatus(service, &status) == FALSE)
      break;
  }
}

enum class ServiceState { kGone, kMarked, kThere, kUnknown };

// What the control manager, asked afresh, and the registry say of the
// service. "Does not exist" is believed only with its key gone as well: a
// manager that lost track of a registered service would otherwise pass for
// one that removed it.
ServiceState LookUpService(const std::string& name) {
  UniqueService manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager)
    return ServiceState::kUnknown;
  UniqueService service(::OpenServiceA(manager.get(), name.c_str(), DELETE));
  if (!service) {
    if (::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST)
      return ServiceState::kUnknown;
    std::string ignored;
    return ServiceKey(name, ignored) ? ServiceState::kThere : ServiceState::kGone;
  }
  // Deleting again is how the manager tells that it is on its way out.
  if (::DeleteService(service.get()) == FALSE &&
      ::GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE)
    return ServiceState::kMarked;
  return ServiceState::kThere;
}

// Stops and deletes the service, then checks with the manager and the
// registry that it went. One the manager no longer knows while its key
// stays is removed from the registry, where the manager reads its services
// from at the next start.
bool DeleteService(const std::string& name) {
  {
    UniqueService manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager)
      return false;
    UniqueService service(
        ::OpenServiceA(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
    if (service) {
      // Its program is about to be removed: a running service would keep it.
      StopService(service.get());
      if (::DeleteService(service.get()) == FALSE &&
          ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE)
        return false;
    } else if (::GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
      return false;
    }
  }
  for (int i = 0; i < kServiceGoneTries; ++i) {
    switch (LookUpService(name)) {
      case ServiceState::kGone:
      case ServiceState::kMarked:
        return true;
      case ServiceState::kUnknown:
        return false;
      case ServiceState::kThere:
        break;
    }
    ::Sleep(kServiceGonePollMs);
  }
  const LONG removed = ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, (kServicesKey + name).c_str());
  if (removed != ERROR_SUCCESS && !Gone(static_cast<DWORD>(removed)))
    return false;
  const ServiceState state = LookUpService(name);
  return state == ServiceState::kGone || state == ServiceState::kMarked;
}

}  // namespace

// --- The payload layer ------------------------------------------------------

// Records what each payload holds before it takes its target's place.
class TInstallJournal::Layer final : public TFileLayer {
 public:
  Layer(TInstallJournal& journal, TFileLayer& inner) : journal_(journal), inner_(inner) {}

  std::unique_ptr<TStream> CreateNew(const std::string& fileName, uint32_t& error) override {
    return inner_.CreateNew(fileName, error);
  }
  bool Flush(TStream& stream, uint32_t& error) override { return inner_.Flush(stream, error); }
  bool Replace(const std::string& source, const std::string& target, uint32_t& error) override {
    std::string hash;
    uint64_t size = 0;
    if (!HashFile(source, hash, &size)) {
      error = ::GetLastError();
      return false;
    }
    journal_.Written(target, hash);
    if (!inner_.Replace(source, target, error))
      return false;
    Log("Wrote " + target + " (" + std::to_string(size) + " bytes, SHA-256 " + hash + ")");
    return true;
  }
  void Delete(const std::string& fileName) noexcept override { inner_.Delete(fileName); }
  std::string ExpandFileName(const std::string& fileName) override {
    return inner_.ExpandFileName(fileName);
  }
  std::string SysErrorMessage(uint32_t error) override { return inner_.SysErrorMessage(error); }

 private:
  TInstallJournal& journal_;
  TFileLayer& inner_;
};

TInstallJournal::TInstallJournal(std::string root) : root_(std::move(root)) {}

TInstallJournal::~TInstallJournal() = default;

TFileLayer& TInstallJournal::Files(TFileLayer& inner) {
  layer_ = std::make_unique<Layer>(*this, inner);
  return *layer_;
}

TInstallJournal::TValueData TInstallJournal::TValueData::Text(const std::string& text) {
  // Stored with its terminating zero, as the registry class writes it.
  return {REG_SZ, std::string(text.c_str(), text.size() + 1)};
}

TInstallJournal::TValueData TInstallJournal::TValueData::Number(int32_t number) {
  const auto value = static_cast<uint32_t>(number);
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8)
    bytes += static_cast<char>((value >> shift) & 0xFF);
  return {REG_DWORD, bytes};
}

// --- The folder -------------------------------------------------------------

std::string TInstallJournal::MachineRoot() {
  char data[MAX_PATH] = {};
  if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data)))
    return {};
  return AddTrailingDelimiter(data) + kRootName;
}

std::string TInstallJournal::UntrustedRoot(const std::string& given) {
  const std::string root = given.empty() ? MachineRoot() : WithoutTrailingDelimiter(given);
  const DWORD attributes = ::GetFileAttributesA(root.c_str());
  if (root.empty() || attributes == INVALID_FILE_ATTRIBUTES)
    return {};
  std::string who;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    who = "it is not a folder";
  else if (!OthersWhoMayChange(root, who))
    who = "its rights cannot be read: " + SystemErrorText(::GetLastError());
  else if (!who.empty())
    who = "for example " + AccountName(who);
  if (who.empty())
    return {};
  return "Setup keeps what it needs to undo an installation in " + root +
         ", but users other than administrators can change that folder (" + who +
         "). Delete the folder, or make Administrators its owner and the only ones allowed to "
         "change it, then run Setup again.";
}

std::string TInstallJournal::Root() const {
  return root_.empty() ? MachineRoot() : WithoutTrailingDelimiter(root_);
}

void TInstallJournal::Open() {
  const std::string root = Root();
  if (root.empty())
    throw CannotCreate(kRootName, ::GetLastError());
  // Made with the rights it must have, so that nobody else can prepare or
  // change what a roll-back will act on.
  if (!IsExistingDirectory(root) &&
      !CreateProtectedDirectory(root, TProtection::kAdministratorsOnly) &&
      ::GetLastError() != ERROR_ALREADY_EXISTS) {
    throw CannotCreate(root, ::GetLastError());
  }
  if (const std::string why = UntrustedRoot(root); !why.empty())
    throw EFCreateError(why);
  // Numbered after every folder there, so that recovery can tell the
  // newest; one Setup runs at a time, so only a leftover can be in the way.
  std::string folder;
  uint32_t sequence = 0;
  for (const std::string& name : NumberedFolders(root))
    sequence = std::max(sequence, static_cast<uint32_t>(std::strtoul(name.c_str(), nullptr, 10)));
  for (int attempt = 0;; ++attempt) {
    ++sequence;
    folder = root + "\\" + SequenceName(sequence);
    // The copies are the user's originals: nobody else reads or changes them.
    if (CreateProtectedDirectory(folder, TProtection::kAdministratorsOnly))
      break;
    if (::GetLastError() != ERROR_ALREADY_EXISTS || attempt == 100)
      throw CannotCreate(folder, ::GetLastError());
  }
  const std::string path = folder + "\\" + kJournalName;
  UniqueFile file(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file ||
      !WriteAll(file.get(), std::string(kHeader) + "\t" + std::to_string(sequence) + "\n")) {
    const DWORD error = ::GetLastError();
    file.reset();
    RemoveTree(folder, true);
    throw CannotCreate(path, error);
  }
  folder_ = folder;
  sequence_ = sequence;
  file_ = std::move(file);
}

// --- Recording --------------------------------------------------------------

bool TInstallJournal::Knows(const std::string& path) const {
  return std::any_of(entries_.begin(), entries_.end(), [&path](const Entry& e) {
    return (e.kind == kFile || e.kind == kReplaced || e.kind == kTemporary) &&
           SameText(e.first, path);
  });
}

// On disk first: a change whose entry could not be kept is not made.
void TInstallJournal::Record(Entry entry) {
  if (!file_)
    Open();
  if (!WriteAll(file_.get(), Line(entry)) || ::FlushFileBuffers(file_.get()) == FALSE)
    throw CannotCreate(folder_ + "\\" + kJournalName, ::GetLastError());
  entries_.push_back(std::move(entry));
}

void TInstallJournal::DestinationCreated(const std::string& directory) {
  if (!committed_)
    Record({kDestination, FullPath(directory), {}, {}, {}});
}

void TInstallJournal::DirectoryCreated(const std::string& directory) {
  if (!committed_)
    Record({kDirectory, FullPath(directory), {}, {}, {}});
}

void TInstallJournal::FileCreated(const std::string& typed) {
  const std::string path = FullPath(typed);
  if (!committed_ && !Knows(path))
    Record({kFile, path, {}, {}, {}});
}

void TInstallJournal::Written(const std::string& typed, const std::string& sha256) {
  if (!committed_)
    Record({kWritten, FullPath(typed), sha256, {}, {}});
}

void TInstallJournal::BeforeWrite(const std::string& typed) {
  const std::string path = FullPath(typed);
  if (committed_ || Knows(path))
    return;
  // A link is neither copied nor written through: whoever planted it would
  // choose what the installer reads and, on a roll-back, writes.
  if (IsLink(path))
    throw CannotCreate(path, kLinkRefused);
  if (!FileExists(path)) {
    Record({kFile, path, {}, {}, {}});
    return;
  }
  // Kept whole, on disk, with its rights and attributes, before anything
  // touches the original; a copy that cannot be made stops the write, so
  // nothing of the user's is ever lost.
  if (!file_)
    Open();
  const std::string name =
      std::to_string(++copies_) + "-" + path.substr(path.find_last_of("\\/:") + 1);
  const std::string copy = folder_ + "\\" + name;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  const std::string descriptor = ReadDescriptor(path);
  std::string hash;
  if (attributes == INVALID_FILE_ATTRIBUTES || descriptor.empty() ||
      ::CopyFileA(path.c_str(), copy.c_str(), TRUE) == FALSE || !FlushFile(copy) ||
      !HashFile(copy, hash)) {
    throw CannotCreate(copy, ::GetLastError());
  }
  // The copy takes the rights of the journal's folder, not the original's.
  ProtectFile(copy, TProtection::kAdministratorsOnly);
  Record({kReplaced, path, name, hash, Encode(attributes, descriptor)});
}

void TInstallJournal::BeforeSave(const std::string& typed) {
  BeforeWrite(typed);
  // The payload goes to this file first. One that is there already was
  // left by someone else: moved out of the way like an original, since
  // the payload is only ever written to a new file.
  const std::string temporary = TemporaryFileName(FullPath(typed));
  if (committed_ || Knows(temporary))
    return;
  if (IsLink(temporary))
    throw CannotCreate(temporary, kLinkRefused);
  if (FileExists(temporary)) {
    BeforeWrite(temporary);
    ::SetFileAttributesA(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (::DeleteFileA(temporary.c_str()) == FALSE)
      throw CannotCreate(temporary, ::GetLastError());
  }
  Record({kTemporary, temporary, {}, {}, {}});
}

void TInstallJournal::KeyCreated(const std::string& key) {
  if (!committed_)
    Record({kKey, key, {}, {}, {}});
}

void TInstallJournal::ValueCreated(const std::string& key, const std::string& name,
                                   const TValueData& written) {
  if (!committed_)
    Record({kValue, key, name, Encode(written.type, written.bytes), {}});
}

void TInstallJournal::ValueChanged(const std::string& key, const std::string& name,
                                   const TValueData& written) {
  uint32_t type = 0;
  std::string data;
  if (committed_)
    return;
  if (!ReadRawValue(key, name, type, data)) {
    ValueCreated(key, name, written);
    return;
  }
  Record({kPrevious, key, name, Encode(type, data), Encode(written.type, written.bytes)});
}

void TInstallJournal::ServiceRegistered(const std::string& name, const std::string& imagePath) {
  if (!committed_)
    Record({kService, name, imagePath, {}, {}});
}

// --- Undoing ----------------------------------------------------------------

const std::string* TInstallJournal::WrittenHash(const std::string& path) const {
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    if (it->kind == kWritten && SameText(it->first, path))
      return &it->second;
  }
  return nullptr;
}

TInstallJournal::Outcome TInstallJournal::UndoFile(const Entry& entry) {
  const std::string& path = entry.first;
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  const bool absent = attributes == INVALID_FILE_ATTRIBUTES;
  if (absent && !Gone(::GetLastError()))
    return Outcome::kFailed;
  const bool foreign =
      !absent && (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0;
  std::string now;
  if (!absent && !foreign && !HashFile(path, now))
    return Outcome::kFailed;
  const std::string* ours = WrittenHash(path);
  const bool asLeft = ours != nullptr && now == *ours;
  const auto keep = [&] {
    kept_.push_back(path);
    return Outcome::kKept;
  };

  if (entry.kind == kReplaced) {
    // The original is put back where the installation's file still is
    // (also when the two hold the same bytes: the rights and attributes
    // were replaced with them), or where nothing is; one never replaced
    // needs nothing. Whatever else is there now is someone's newer work: it
    // stays, and so does the copy.
    if (!foreign && (absent || asLeft)) {
      return Restore(folder_ + "\\" + entry.second, path) && ApplyOriginal(path, entry.fourth)
                 ? Outcome::kUndone
                 : Outcome::kFailed;
    }
    if (!foreign && now == entry.third)
      return Outcome::kUndone;
    keptCopies_ = true;
    return keep();
  }
  if (absent)
    return Outcome::kUndone;
  // A payload's temporary file is the installation's by its name, in a
  // destination only administrators may change.
  if (foreign || (entry.kind == kFile && !asLeft))
    return keep();
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
  return ::DeleteFileA(path.c_str()) != FALSE ? Outcome::kUndone : Outcome::kFailed;
}

TInstallJournal::Outcome TInstallJournal::Undo(const Entry& entry) {
  const auto result = [](bool done) { return done ? Outcome::kUndone : Outcome::kFailed; };
  switch (entry.kind) {
    case kService: {
      // Only the service this run registered, starting its program: one
      // that starts something else now is someone else's.
      std::string imagePath;
      if (ServiceKey(entry.first, imagePath) && !imagePath.empty() &&
          !SameText(Unquoted(imagePath), Unquoted(entry.second))) {
        kept_.push_back("service " + entry.first);
        return Outcome::kKept;
      }
      return result(DeleteService(entry.first));
    }
    case kKey:
      return result(DeleteKeyIfEmpty(entry.first));
    case kValue:
    case kPrevious: {
      uint32_t ourType = 0;
      std::string ours;
      const std::string& written = entry.kind == kValue ? entry.third : entry.fourth;
      if (!Decode(written, ourType, ours))
        return Outcome::kFailed;
      uint32_t type = 0;
      std::string data;
      LONG error = ERROR_SUCCESS;
      const bool there = ReadRawValue(entry.first, entry.second, type, data, &error);
      if (!there && !Gone(static_cast<DWORD>(error)))
        return Outcome::kFailed;
      if (there && (type != ourType || data != ours)) {
        uint32_t previousType = 0;
        std::string previous;
        if (entry.kind == kPrevious && Decode(entry.third, previousType, previous) &&
            previousType == type && previous == data)
          return Outcome::kUndone;
        kept_.push_back(MachineName(entry.first, entry.second));
        return Outcome::kKept;
      }
      if (entry.kind == kValue) {
        return result(!there || RegistryChange(entry.first, [&](HKEY key) {
          const LONG deleted = ::RegDeleteValueA(key, entry.second.c_str());
          return deleted == ERROR_SUCCESS || Gone(static_cast<DWORD>(deleted));
        }));
      }
      uint32_t previousType = 0;
      std::string previous;
      if (!Decode(entry.third, previousType, previous))
        return Outcome::kFailed;
      return result(RegistryChange(entry.first, [&](HKEY key) {
        return ::RegSetValueExA(key, entry.second.c_str(), 0, previousType,
                                reinterpret_cast<const BYTE*>(previous.data()),
                                static_cast<DWORD>(previous.size())) == ERROR_SUCCESS;
      }));
    }
    case kFile:
    case kTemporary:
    case kReplaced:
      return UndoFile(entry);
    case kDirectory:
    case kDestination:
      // Whatever someone else put into it meanwhile is not the
      // installation's to delete, and stays with its directory.
      return result(::RemoveDirectoryA(entry.first.c_str()) != FALSE ||
                    ::GetLastError() == ERROR_DIR_NOT_EMPTY || !IsExistingDirectory(entry.first));
    default:
      return Outcome::kFailed;
  }
}

bool TInstallJournal::RollBack() {
  // Services and registry first (the services' programs are among the
  // files), then files, restored originals, and the directories last, each
  // group newest first.
  static constexpr const char* kOrder[] = {"s", "pvk", "ft", "r", "dD"};
  std::vector<Entry> left;
  kept_.clear();
  for (const char* kinds : kOrder) {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      if (std::string_view(kinds).find(it->kind) == std::string_view::npos)
        continue;
      const Outcome outcome = Undo(*it);
      if (outcome == Outcome::kFailed)
        left.insert(left.begin(), *it);
      Log((outcome == Outcome::kUndone ? "Undone: "
           : outcome == Outcome::kKept ? "Kept, changed since: "
                                       : "Could not undo: ") +
          Described(*it));
    }
  }
  // What a later try needs to tell the installation's files from others'.
  for (const Entry& entry : entries_) {
    if (entry.kind == kWritten && std::any_of(left.begin(), left.end(), [&](const Entry& e) {
          return SameText(e.first, entry.first);
        }))
      left.push_back(entry);
  }
  entries_ = std::move(left);
  rolledBack_ = true;
  if (entries_.empty())
    Finish();
  else
    Rewrite();
  return entries_.empty();
}

// Nothing is left to undo. Copies kept because their file was changed
// since stay with a list of what they are; the journal goes either way,
// so that the next start has nothing to act on.
void TInstallJournal::Finish() {
  if (!keptCopies_) {
    Remove();
    return;
  }
  std::string list;
  for (const std::string& kept : kept_)
    list += kept + "\r\n";
  {
    UniqueFile file(::CreateFileA((folder_ + "\\" + kKeptName).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !WriteAll(file.get(), list) || ::FlushFileBuffers(file.get()) == FALSE) {
      Rewrite();  // without the list, the journal keeps saying what the copies are
      return;
    }
  }
  file_.reset();
  ::DeleteFileA((folder_ + "\\" + kJournalName).c_str());
}

void TInstallJournal::Commit() {
  committed_ = true;
  // A roll-back left originals unrestored: their copies are never dropped.
  if (!KeptCopiesFolder().empty())
    return;
  // Removing the journal is what commits; the mark speaks only for a
  // journal that then cannot be removed. A mark that cannot be written
  // (a full disk) does not keep the finished installation from its end.
  if (file_) {
    try {
      Record({kCommitted, {}, {}, {}, {}});
    } catch (const Exception&) {
    }
  }
  entries_.clear();
  Remove();
}

std::string TInstallJournal::KeptCopiesFolder() const {
  // Before a roll-back every copy is still needed for one, none is kept.
  const bool kept =
      rolledBack_ &&
      (keptCopies_ || std::any_of(entries_.begin(), entries_.end(),
                                  [](const Entry& e) { return e.kind == kReplaced; }));
  return kept ? folder_ : std::string();
}

// The journal goes first: without it, whatever is left in the folder is
// only copies, never something a later start would act on.
void TInstallJournal::Remove() {
  if (folder_.empty())
    return;
  file_.reset();
  const std::string journal = folder_ + "\\" + kJournalName;
  if (::DeleteFileA(journal.c_str()) != FALSE || !FileExists(journal))
    RemoveTree(folder_, true);
  folder_.clear();
}

// What is left to undo replaces the journal in one step, so that a crash
// leaves either the old list or the new one.
void TInstallJournal::Rewrite() {
  if (folder_.empty())
    return;
  std::string text = std::string(kHeader) + "\t" + std::to_string(sequence_) + "\n";
  for (const Entry& entry : entries_)
    text += Line(entry);
  const std::string journal = folder_ + "\\" + kJournalName;
  const std::string fresh = journal + ".new";
  file_.reset();
  {
    UniqueFile file(::CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || !WriteAll(file.get(), text) || ::FlushFileBuffers(file.get()) == FALSE)
      return;  // the old journal, a superset, stays
  }
  ::MoveFileExA(fresh.c_str(), journal.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  file_.reset(::CreateFileA(journal.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool TInstallJournal::Load(const std::string& folder) {
  const std::string journal = folder + "\\" + kJournalName;
  UniqueFile file(::CreateFileA(journal.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!file)
    return false;
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) != FALSE && got > 0)
    text.append(buffer, got);
  std::vector<std::string> lines = Split(text, '\n');
  // The last line is cut short when the power failed while it was written:
  // the change it announced was never begun.
  lines.pop_back();
  if (lines.empty())
    return false;
  const std::vector<std::string> header = Split(lines.front(), '\t');
  if (header.size() != 2 || header[0] != kHeader || header[1].empty() || header[1].size() > 9 ||
      header[1].find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  sequence_ = static_cast<uint32_t>(std::strtoul(header[1].c_str(), nullptr, 10));
  folder_ = folder;
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = Split(lines[i], '\t');
    if (fields.size() != 5 || fields[0].size() != 1 ||
        std::string_view("Dddftrwkvpsc").find(fields[0][0]) == std::string_view::npos) {
      return false;
    }
    const char kind = fields[0][0];
    if (kind == kCommitted) {
      committed_ = true;
      continue;
    }
    // A copy is read from the journal's own folder, never from elsewhere.
    if (kind == kReplaced && !IsBareName(fields[2]))
      return false;
    entries_.push_back({kind, fields[1], fields[2], fields[3], fields[4]});
  }
  return true;
}

TInstallJournal::TRecovery TInstallJournal::RecoverInterrupted(const std::string& given) {
  TRecovery recovery;
  const std::string root = given.empty() ? MachineRoot() : WithoutTrailingDelimiter(given);
  if (root.empty() || !IsExistingDirectory(root)) {
    recovery.untrusted = root.empty() || !FileExists(root) ? std::string() : UntrustedRoot(root);
    return recovery;
  }
  recovery.untrusted = UntrustedRoot(root);
  if (!recovery.untrusted.empty())
    return recovery;
  std::vector<std::unique_ptr<TInstallJournal>> journals;
  for (const std::string& name : NumberedFolders(root)) {
    const std::string folder = root + "\\" + name;
    const std::string journal = folder + "\\" + kJournalName;
    if (FileExists(journal)) {
      auto loaded = std::make_unique<TInstallJournal>(root);
      if (!loaded->Load(folder)) {
        // Unreadable: nothing is undone on a guess, and the user learns
        // where the copies are.
        recovery.found = true;
        recovery.complete = false;
        recovery.keptFolder = folder;
        continue;
      }
      journals.push_back(std::move(loaded));
    } else if (!FileExists(folder + "\\" + kKeptName) && !FileExists(journal + ".new")) {
      // A roll-back or commit killed after it deleted its journal, before
      // its folder: nothing is left to undo, only the folder to remove.
      RemoveTree(folder, true);
    }
  }
  // The newest first: an older run's originals are what was there before
  // any of them, so they must be the last put back.
  std::sort(journals.begin(), journals.end(),
            [](const auto& a, const auto& b) { return a->sequence_ > b->sequence_; });
  for (const auto& journal : journals) {
    recovery.found = true;
    if (journal->committed_) {
      journal->entries_.clear();
      journal->Remove();
      continue;
    }
    if (!journal->RollBack())
      recovery.complete = false;
    recovery.kept.insert(recovery.kept.end(), journal->kept_.begin(), journal->kept_.end());
    if (!journal->KeptCopiesFolder().empty())
      recovery.keptFolder = journal->folder_;
    // An older journal waits while a newer one is not undone: its
    // originals must not go back under what the newer one still holds.
    if (!recovery.complete)
      break;
  }
  return recovery;
}

}  // namespace qv
