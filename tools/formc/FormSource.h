#pragma once
// The readable text of one window (forms/README.md gives the syntax), parsed
// into a tree, and its compilation into a binary form stream.
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "PayloadPacker.h"

namespace qv {

class TStream;

struct FormValue {
  enum class Kind { Integer, Float, String, Boolean, Set, Ident, Binary, Bitmap, Lines };
  Kind kind = Kind::Integer;
  int64_t integer = 0;
  long double number = 0;
  std::string text;                // string, identifier, or file path
  std::vector<std::string> items;  // set elements
};

struct FormProperty {
  std::string path;
  FormValue value;
  int line = 0;
};

struct FormObject {
  std::string className;
  std::string name;
  bool payload = false;
  std::string payloadFile;
  std::vector<FormProperty> properties;
  std::vector<FormObject> children;
  int line = 0;
};

// A mistake in a form source, with its place.
class FormSourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

FormObject ParseFormSource(const std::string& text, const std::string& fileName);

struct CompileOptions {
  std::filesystem::path sourceDir;   // relative paths of values start here
  std::filesystem::path payloadDir;  // payload files are found here
  std::filesystem::path cacheDir;    // compressed payloads are kept here (empty: none)
};

struct CompileResult {
  std::vector<std::filesystem::path> inputs;  // the files read, for build dependencies
  PackCounts payloads;
};

// Raises std::runtime_error naming the payload unless block (a 4-byte size,
// then one zlib stream) inflates, whole and with its checksum, to source.
void CheckBlockInflatesTo(const uint8_t* block, size_t size, const std::vector<uint8_t>& source,
                          const std::string& name);

// Writes the stream.
CompileResult CompileForm(const FormObject& root, const CompileOptions& options, TStream& out);

}  // namespace qv
