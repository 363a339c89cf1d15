#pragma once
// What the start-up checks found about an earlier installation: the
// background window carries it, the wizard's creation handler reads it.
#include <string>

namespace qv {

struct TEarlierInstallation {
  bool PreviousInstall = false;
  // The image path as stored; lower-cased when it came from the service's
  // own key.
  std::string ServiceImagePath;
  // The program that image path starts, found as the service control manager
  // finds it, in the same case as ServiceImagePath.
  std::string ServiceProgramPath;
};

}  // namespace qv
