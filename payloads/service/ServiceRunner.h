#pragma once
// The program as the service control manager runs it: it connects to the
// control manager, reports the service running and stops on request.
#include <windows.h>

#include "ServiceInstaller.h"

namespace qv::payload {

// Returns when the service has stopped: ERROR_SUCCESS, or the Win32 error
// of the connection, which is ERROR_FAILED_SERVICE_CONTROLLER_CONNECT when
// the program was not started by the control manager.
DWORD RunAsService(const ServiceDefinition& service);

}  // namespace qv::payload
