#include "core/Filer.h"

namespace qv {

TReader::~TReader() = default;
TWriter::~TWriter() = default;
TFiler::~TFiler() = default;

std::vector<std::string> ReadStringList(TReader& reader) {
  std::vector<std::string> lines;
  reader.ReadListBegin();
  while (!reader.EndOfList())
    lines.push_back(reader.ReadString());
  reader.ReadListEnd();
  return lines;
}

}  // namespace qv
