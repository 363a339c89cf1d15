#include "ServiceInstaller.h"

#include "../common/Handles.h"

namespace qv::payload {

namespace {

// Long enough for a service that does real work on its way down; ours stop
// at once, so this only matters when the control manager itself is slow.
constexpr DWORD kStopTimeoutMs = 15000;
constexpr DWORD kStopPollMs = 50;

ServiceResult Failed(DWORD error) {
  return {ServiceOutcome::kFailed, error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error};
}

void StopAndWait(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!::QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED)
    return;
  if (status.dwCurrentState != SERVICE_STOP_PENDING &&
      !::ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    return;
  }
  for (DWORD waited = 0; waited < kStopTimeoutMs; waited += kStopPollMs) {
    if (!::QueryServiceStatus(service, &status) || status.dwCurrentState == SERVICE_STOPPED)
      return;
    ::Sleep(kStopPollMs);
  }
}

}  // namespace

std::wstring QuotedImagePath(const std::wstring& programPath) {
  return L"\"" + programPath + L"\"";
}

std::wstring OwnProgramPath(DWORD& error) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), size);
    if (length == 0) {
      error = ::GetLastError();
      return {};
    }
    // A full buffer may hold a cut-off path (the system then returns the
    // buffer size, with or without ERROR_INSUFFICIENT_BUFFER).
    if (length < size) {
      path.resize(length);
      error = ERROR_SUCCESS;
      return path;
    }
    if (size >= 32768) {
      error = ERROR_FILENAME_EXCED_RANGE;
      return {};
    }
    path.resize(size * 2);
  }
}

ServiceResult InstallService(const ServiceDefinition& service, const std::wstring& programPath) {
  UniqueServiceHandle manager(
      ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
  if (!manager)
    return Failed(::GetLastError());

  const std::wstring imagePath = QuotedImagePath(programPath);
  UniqueServiceHandle created(
      ::CreateServiceW(manager.get(), service.name, service.displayName, SERVICE_CHANGE_CONFIG,
                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  if (!created) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_EXISTS)
      return {ServiceOutcome::kAlreadyInstalled, ERROR_SUCCESS};
    return Failed(error);
  }

  // The description only helps whoever reads the services list; the service
  // is registered and usable without it, so a failure here is not one of the
  // installation.
  SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(service.description)};
  ::ChangeServiceConfig2W(created.get(), SERVICE_CONFIG_DESCRIPTION, &description);
  return {ServiceOutcome::kInstalled, ERROR_SUCCESS};
}

ServiceResult UninstallService(const ServiceDefinition& service) {
  UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager)
    return Failed(::GetLastError());

  UniqueServiceHandle existing(
      ::OpenServiceW(manager.get(), service.name, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE));
  if (!existing) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST)
      return {ServiceOutcome::kNotInstalled, ERROR_SUCCESS};
    return Failed(error);
  }

  StopAndWait(existing.get());
  if (!::DeleteService(existing.get())) {
    const DWORD error = ::GetLastError();
    // Someone else's uninstall got there first; the service is on its way out.
    if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
      return {ServiceOutcome::kRemoved, ERROR_SUCCESS};
    return Failed(error);
  }
  return {ServiceOutcome::kRemoved, ERROR_SUCCESS};
}

}  // namespace qv::payload
