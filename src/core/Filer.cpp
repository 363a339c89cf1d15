#include "core/Filer.h"

namespace qv {

TReader::~TReader() = default;
TWriter::~TWriter() = default;
TFiler::~TFiler() = default;

}  // namespace qv
