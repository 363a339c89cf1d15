#pragma once
// Owning handles of the payload programs: the product's own owners
// (header-only), under the names the payload sources use.
#include "win32/Handles.h"

namespace qv::payload {

using UniqueKernelHandle = qv::UniqueHandle;
using UniqueServiceHandle = qv::UniqueService;
using UniqueFileHandle = qv::UniqueFile;
using UniqueFindHandle = qv::UniqueFind;
using UniqueRegistryKey = qv::UniqueRegistryKey;
template <class T>
using UniqueLocalMemory = qv::UniqueLocalMemory<T>;

}  // namespace qv::payload
