#include "ServiceRunner.h"

#include <string>

#include "../common/Handles.h"

namespace qv::payload {

namespace {

// The control manager calls ServiceMain and the control handler without any
// pointer of ours, so the one service of this process keeps its state here.
struct ServiceState {
  const ServiceDefinition* definition = nullptr;
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  UniqueKernelHandle stopRequested;
  DWORD checkPoint = 0;
};
ServiceState g_state;

void Report(DWORD state, DWORD exitCode = NO_ERROR, DWORD waitHintMs = 0) noexcept {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  // Controls are refused while the service is on its way down: a second STOP
  // must not arrive after the stop event has been acted on.
  status.dwControlsAccepted =
      state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode;
  const bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  status.dwCheckPoint = pending ? ++g_state.checkPoint : 0;
  status.dwWaitHint = waitHintMs;
  ::SetServiceStatus(g_state.statusHandle, &status);
}

DWORD WINAPI ControlHandler(DWORD control, DWORD, void*, void*) noexcept {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, NO_ERROR, 2000);
      ::SetEvent(g_state.stopRequested.get());
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void RunService() {
  g_state.statusHandle =
      ::RegisterServiceCtrlHandlerExW(g_state.definition->name, &ControlHandler, nullptr);
  // Without a status handle nothing can be told to the control manager; it
  // notices the missing start report by itself.
  if (g_state.statusHandle == nullptr)
    return;

  Report(SERVICE_START_PENDING, NO_ERROR, 2000);
  g_state.stopRequested.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!g_state.stopRequested) {
    Report(SERVICE_STOPPED, ::GetLastError());
    return;
  }
  Report(SERVICE_RUNNING);
  // A stand-in has no work of its own: it is there to be started, seen
  // running and stopped.
  ::WaitForSingleObject(g_state.stopRequested.get(), INFINITE);
  Report(SERVICE_STOPPED);
}

// Runs on a thread of the control dispatcher: nothing may unwind past it.
void WINAPI ServiceMain(DWORD, wchar_t**) {
  try {
    RunService();
  } catch (...) {
    if (g_state.statusHandle != nullptr)
      Report(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR);
  }
}

}  // namespace

DWORD RunAsService(const ServiceDefinition& service) {
  g_state.definition = &service;
  // The control manager ignores this name for a service in a process of its
  // own; the table only has to be well formed.
  std::wstring name = service.name;
  SERVICE_TABLE_ENTRYW table[] = {{name.data(), &ServiceMain}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table))
    return ::GetLastError();
  return ERROR_SUCCESS;
}

}  // namespace qv::payload
