#pragma once
// Windows only. The access list stored for a file, as the system reads it
// back, for tests of the rights the installer gives what it creates.
#include <string>

namespace qv::test {

// The discretionary access list of a file or directory as SDDL text
// ("D:P(A;...)"); empty when it cannot be read.
std::string DaclText(const std::string& path);

}  // namespace qv::test
