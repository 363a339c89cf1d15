#include "formstream/FileLayer.h"

#include "core/Exceptions.h"
#include "core/Format.h"

namespace qv {

namespace {
TFileLayer* installedLayer = nullptr;
}  // namespace

EFCreateError CannotCreateError(TFileLayer& files, const std::string& fileName, uint32_t error) {
  return EFCreateError(Format("Cannot create file \"%s\". %s", files.ExpandFileName(fileName),
                              files.SysErrorMessage(error)));
}

std::string TemporaryFileName(const std::string& target) {
  return target + ".qvpart";
}

void SetDefaultFileLayer(TFileLayer* layer) noexcept {
  installedLayer = layer;
}

TFileLayer& DefaultFileLayer() {
  if (installedLayer == nullptr)
    throw EInvalidOperation("No file layer installed");
  return *installedLayer;
}

}  // namespace qv
