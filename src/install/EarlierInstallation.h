#pragma once
// What the start-up checks found about an earlier installation: the
// background window carries it, the wizard's creation handler reads it.
#include <string>

namespace qv {

struct TEarlierInstallation {
  bool PreviousInstall = false;
  std::string ServiceImagePath;
};

}  // namespace qv
