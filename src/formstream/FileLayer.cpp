#include "formstream/FileLayer.h"

#include "core/Exceptions.h"

namespace qv {

namespace {
TFileLayer* installedLayer = nullptr;
}  // namespace

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
