#include "FormSource.h"

#include <cctype>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "core/Stream.h"
#include "formstream/CompressedBinaryData.h"
#include "formstream/FormWriter.h"

namespace qv {

namespace {

class Parser {
 public:
  Parser(const std::string& text, std::string fileName)
      : text_(text), fileName_(std::move(fileName)) {}

  FormObject ParseRoot() {
    SkipSpace();
    if (Word() != "form")
      Fail("expected 'form'");
    FormObject root = ParseBody("form");
    SkipSpace();
    if (pos_ < text_.size())
      Fail("text after the window's 'end'");
    return root;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw FormSourceError(fileName_ + ":" + std::to_string(line_) + ": " + what);
  }

  void SkipSpace() {
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '#') {
        while (pos_ < text_.size() && text_[pos_] != '\n')
          ++pos_;
      } else if (c == '\n') {
        ++line_;
        ++pos_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++pos_;
      } else {
        break;
      }
    }
  }

  // Skips blanks on the current line only.
  void SkipBlanks() {
    while (pos_ < text_.size() &&
           (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  static bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
  }

  std::string Word() {
    SkipBlanks();
    const size_t start = pos_;
    while (pos_ < text_.size() && IsWordChar(text_[pos_]))
      ++pos_;
    return text_.substr(start, pos_ - start);
  }

  bool AtLineEnd() {
    SkipBlanks();
    return pos_ >= text_.size() || text_[pos_] == '\n' || text_[pos_] == '#';
  }

  std::string QuotedString() {
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != '"')
      Fail("expected a quoted string");
    ++pos_;
    std::string value;
    while (true) {
      if (pos_ >= text_.size() || text_[pos_] == '\n')
        Fail("unterminated string");
      char c = text_[pos_++];
      if (c == '"')
        break;
      if (c == '\\') {
        if (pos_ >= text_.size())
          Fail("unterminated string");
        const char e = text_[pos_++];
        switch (e) {
          case 'r':
            c = '\r';
            break;
          case 'n':
            c = '\n';
            break;
          case 't':
            c = '\t';
            break;
          case '"':
          case '\\':
            c = e;
            break;
          default:
            Fail(std::string("unknown escape \\") + e);
        }
      }
      value += c;
    }
    return value;
  }

  void Expect(char c) {
    SkipBlanks();
    if (pos_ >= text_.size() || text_[pos_] != c)
      Fail(std::string("expected '") + c + "'");
    ++pos_;
  }

  FormValue Value() {
    SkipBlanks();
    FormValue v;
    if (pos_ >= text_.size())
      Fail("expected a value");
    const char c = text_[pos_];
    if (c == '"') {
      v.kind = FormValue::Kind::String;
      v.text = QuotedString();
      return v;
    }
    if (c == '[') {
      ++pos_;
      v.kind = FormValue::Kind::Set;
      SkipBlanks();
      if (pos_ < text_.size() && text_[pos_] == ']') {
        ++pos_;
        return v;
      }
      while (true) {
        const std::string item = Word();
        if (item.empty())
          Fail("expected a set element");
        v.items.push_back(item);
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == ',') {
          ++pos_;
          continue;
        }
        Expect(']');
        return v;
      }
    }
    if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
      const size_t start = pos_;
      ++pos_;
      while (pos_ < text_.size() && (std::isxdigit(static_cast<unsigned char>(text_[pos_])) ||
                                     text_[pos_] == 'x' || text_[pos_] == '.')) {
        ++pos_;
      }
      const std::string number = text_.substr(start, pos_ - start);
      try {
        if (number.find('.') != std::string::npos) {
          v.kind = FormValue::Kind::Float;
          v.number = std::stold(number);
        } else {
          v.kind = FormValue::Kind::Integer;
          v.integer = std::stoll(number, nullptr, 0);
        }
      } catch (const std::exception&) {
        Fail("bad number '" + number + "'");
      }
      return v;
    }
    const std::string word = Word();
    if (word.empty())
      Fail("expected a value");
    if (word == "true" || word == "false") {
      v.kind = FormValue::Kind::Boolean;
      v.integer = word == "true";
      return v;
    }
    if (word == "binary" || word == "bitmap" || word == "lines") {
      Expect('(');
      v.text = QuotedString();
      Expect(')');
      v.kind = word == "binary"   ? FormValue::Kind::Binary
               : word == "bitmap" ? FormValue::Kind::Bitmap
                                  : FormValue::Kind::Lines;
      return v;
    }
    v.kind = FormValue::Kind::Ident;
    v.text = word;
    return v;
  }

  // After "form", "child" or "payload": the header, then entries up to "end".
  FormObject ParseBody(const std::string& keyword) {
    FormObject object;
    object.line = line_;
    if (keyword == "payload") {
      object.className = "TCompressedBinaryData";
      object.payload = true;
      object.name = Word();
      object.payloadFile = QuotedString();
    } else {
      object.className = Word();
      if (object.className.empty())
        Fail("expected a class name");
      if (!AtLineEnd())
        object.name = Word();
    }
    if (!AtLineEnd())
      Fail("unexpected text after the header");
    while (true) {
      SkipSpace();
      if (pos_ >= text_.size())
        Fail("missing 'end'");
      const int line = line_;
      const std::string word = Word();
      if (word == "end")
        return object;
      if (word == "child" || word == "payload") {
        if (object.payload)
          Fail("a payload has no children");
        object.children.push_back(ParseBody(word));
        continue;
      }
      if (word.empty())
        Fail("expected a property, 'child', 'payload' or 'end'");
      Expect('=');
      FormProperty property{word, Value(), line};
      if (!AtLineEnd())
        Fail("unexpected text after the value");
      object.properties.push_back(std::move(property));
    }
  }

  const std::string& text_;
  std::string fileName_;
  size_t pos_ = 0;
  int line_ = 1;
};

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw FormSourceError("cannot read " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class Compiler {
 public:
  Compiler(const CompileOptions& options, TStream& out)
      : options_(options), writer_(out), packer_(options.cacheDir) {}

  void Root(const FormObject& root) {
    writer_.WriteSignature();
    Object(root);
  }

  std::vector<std::filesystem::path> inputs;

  const PackCounts& PayloadCounts() const noexcept { return packer_.Counts(); }

 private:
  std::filesystem::path Resolve(const std::string& path) {
    std::filesystem::path p = options_.sourceDir / path;
    inputs.push_back(p);
    return p;
  }

  void Value(const FormValue& v) {
    switch (v.kind) {
      case FormValue::Kind::Integer:
        writer_.WriteInteger(v.integer);
        break;
      case FormValue::Kind::Float:
        writer_.WriteFloat(v.number);
        break;
      case FormValue::Kind::String:
        writer_.WriteString(v.text);
        break;
      case FormValue::Kind::Boolean:
        writer_.WriteBoolean(v.integer != 0);
        break;
      case FormValue::Kind::Set:
        writer_.WriteSet(v.items);
        break;
      case FormValue::Kind::Ident:
        writer_.WriteIdent(v.text);
        break;
      case FormValue::Kind::Binary: {
        const std::vector<uint8_t> bytes = ReadFile(Resolve(v.text));
        writer_.WriteBinary(bytes.data(), static_cast<uint32_t>(bytes.size()));
        break;
      }
      case FormValue::Kind::Bitmap: {
        const std::vector<uint8_t> file = ReadFile(Resolve(v.text));
        if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') {
          throw FormSourceError(v.text + ": not a bitmap file");
        }
        std::vector<uint8_t> data{7, 'T', 'B', 'i', 't', 'm', 'a', 'p'};
        const auto size = static_cast<uint32_t>(file.size());
        for (int i = 0; i < 4; ++i)
          data.push_back(static_cast<uint8_t>(size >> (8 * i)));
        data.insert(data.end(), file.begin(), file.end());
        writer_.WriteBinary(data.data(), static_cast<uint32_t>(data.size()));
        break;
      }
      case FormValue::Kind::Lines: {
        const std::vector<uint8_t> bytes = ReadFile(Resolve(v.text));
        std::string text(bytes.begin(), bytes.end());
        std::vector<std::string> lines;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) {
          if (!line.empty() && line.back() == '\r')
            line.pop_back();
          lines.push_back(line);
        }
        writer_.WriteListBegin();
        // Empty lines travel as empty wide strings, as the stored windows
        // carry them; the reader turns both kinds into ANSI lines.
        for (const std::string& line : lines) {
          if (line.empty()) {
            writer_.WriteWideString(u"");
          } else {
            writer_.WriteString(line);
          }
        }
        writer_.WriteListEnd();
        break;
      }
    }
  }

  void Properties(const std::vector<FormProperty>& properties) {
    for (const FormProperty& p : properties) {
      writer_.WritePropName(p.path);
      Value(p.value);
    }
  }

  void Object(const FormObject& object) {
    writer_.WriteObjectHeader(object.className, object.name);
    if (object.payload) {
      Payload(object);
    } else {
      Properties(object.properties);
    }
    writer_.WriteListEnd();
    for (const FormObject& child : object.children)
      Object(child);
    writer_.WriteListEnd();
  }

  // The stream comes from zopfli rather than from the component's own
  // compressor; the block around it and the rate are still the product's
  // (TBinaryData's block writer, which the compressed component inherits,
  // and its rate rule), so the component reads them as its own at run time.
  void Payload(const FormObject& object) {
    const std::filesystem::path file = options_.payloadDir / object.payloadFile;
    inputs.push_back(file);
    const std::vector<uint8_t> bytes = ReadFile(file);
    const std::vector<uint8_t> packed = packer_.Pack(bytes);
    TComponent owner(nullptr);
    auto* stored = new TBinaryData(&owner);
    TReadOnlyMemoryStream packedStream(packed.data(), packed.size());
    stored->SetData(&packedStream);

    writer_.WritePropName("Compressed");
    writer_.WriteBoolean(true);
    writer_.WritePropName("CompressionRate");
    writer_.WriteFloat(static_cast<long double>(
        CompressionRateOf(stored->GetDataSize(), static_cast<int64_t>(bytes.size()))));
    Properties(object.properties);
    // The Payload block: the stored size, then the stored bytes.
    TMemoryStream block;
    stored->WriteData(block);
    CheckBlockInflatesTo(block.Memory(), static_cast<size_t>(block.Size()), bytes,
                         object.payloadFile);
    writer_.WritePropName("TheData");
    writer_.WriteBinary(block.Memory(), static_cast<uint32_t>(block.Size()));
  }

  const CompileOptions& options_;
  TFormWriter writer_;
  PayloadPacker packer_;
};

}  // namespace

// The stored block must inflate, with zlib itself rather than the
// component's own reader, to exactly the payload file: a compressor fault
// would otherwise ship a Setup.exe that fails only when it installs.
void CheckBlockInflatesTo(const uint8_t* block, size_t size, const std::vector<uint8_t>& source,
                          const std::string& name) {
  if (size < 4)
    throw std::runtime_error("payload " + name + ": no block was written");
  const std::string mismatch = InflateMismatch(block + 4, size - 4, source);
  if (!mismatch.empty())
    throw std::runtime_error("payload " + name + ": the compressed block " + mismatch);
}

FormObject ParseFormSource(const std::string& text, const std::string& fileName) {
  return Parser(text, fileName).ParseRoot();
}

CompileResult CompileForm(const FormObject& root, const CompileOptions& options, TStream& out) {
  Compiler compiler(options, out);
  compiler.Root(root);
  return CompileResult{compiler.inputs, compiler.PayloadCounts()};
}

}  // namespace qv
