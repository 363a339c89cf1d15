#pragma once
// Registration of a stand-in service with the service control manager, the
// one thing the installer relies on: started from the destination directory
// with "/install /silent", the program registers its own service and ends.
#include <windows.h>

#include <string>

namespace qv::payload {

struct ServiceDefinition {
  const wchar_t* name;  // also the key under SYSTEM\CurrentControlSet\Services
  const wchar_t* displayName;
  const wchar_t* description;
};

enum class ServiceOutcome { kInstalled, kAlreadyInstalled, kRemoved, kNotInstalled, kFailed };

struct ServiceResult {
  ServiceOutcome outcome;
  DWORD error;  // the failing call's Win32 error for kFailed, ERROR_SUCCESS otherwise
};

// An existing service is left exactly as it is: a reinstall must neither
// point the service at another copy of the program nor undo the start type
// that the installer writes after us.
ServiceResult InstallService(const ServiceDefinition& service, const std::wstring& programPath);

// A running service is stopped first: the control manager deletes a service
// only once it has stopped, and the program file stays locked until then.
// A service that does not exist counts as removed already.
ServiceResult UninstallService(const ServiceDefinition& service);

// The image path as the control manager must get it. Unquoted, a path with
// spaces ("C:\Program Files\...") is tried piece by piece as a program name,
// and a "C:\Program.exe" planted by anyone would run as LocalSystem.
std::wstring QuotedImagePath(const std::wstring& programPath);

// Full path of the running program; empty, with the Win32 error in error,
// when the system cannot tell it.
std::wstring OwnProgramPath(DWORD& error);

}  // namespace qv::payload
