// The form compiler: turns the readable text of a window into the binary
// form stream that Setup.exe carries as an RCDATA resource.
//
//   formc SOURCE.form OUTPUT.bin [--payloads DIR] [--depfile FILE] [--cache DIR]
//
// --cache keeps each compressed payload in DIR, so that a rebuild whose
// payloads did not change does not compress them again.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "FormSource.h"
#include "core/Exceptions.h"
#include "core/Stream.h"

namespace {

int Usage() {
  std::cerr << "usage: formc SOURCE.form OUTPUT.bin [--payloads DIR] [--depfile FILE] "
               "[--cache DIR]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3)
    return Usage();
  const std::filesystem::path source = argv[1];
  const std::filesystem::path output = argv[2];
  qv::CompileOptions options;
  options.sourceDir = source.parent_path();
  options.payloadDir = options.sourceDir;
  std::filesystem::path depfile;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--payloads" && i + 1 < argc) {
      options.payloadDir = argv[++i];
    } else if (arg == "--depfile" && i + 1 < argc) {
      depfile = argv[++i];
    } else if (arg == "--cache" && i + 1 < argc) {
      options.cacheDir = argv[++i];
    } else {
      return Usage();
    }
  }
  try {
    std::ifstream in(source, std::ios::binary);
    if (!in) {
      std::cerr << "formc: cannot read " << source << "\n";
      return 1;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const qv::FormObject root = qv::ParseFormSource(text, source.string());
    qv::TMemoryStream stream;
    const qv::CompileResult result = qv::CompileForm(root, options, stream);

    // Written whole or not at all: a half-written stream must not survive
    // as an up-to-date build output.
    const std::filesystem::path temporary = output.string() + ".tmp";
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(stream.Memory()),
                static_cast<std::streamsize>(stream.Size()));
      if (!out) {
        std::cerr << "formc: cannot write " << temporary << "\n";
        return 1;
      }
    }
    std::filesystem::rename(temporary, output);
    if (!depfile.empty()) {
      std::ofstream dep(depfile, std::ios::trunc);
      dep << output.string() << ":";
      for (const auto& path : result.inputs)
        dep << " \\\n  " << std::filesystem::absolute(path).string();
      dep << "\n";
    }
    std::cout << "formc: " << output.filename().string() << " (" << stream.Size() << " bytes";
    const qv::PackCounts& payloads = result.payloads;
    if (payloads.compressed + payloads.fromCache > 0) {
      std::cout << "; payloads: " << payloads.compressed << " compressed, " << payloads.fromCache
                << " from the cache";
      if (payloads.replaced > 0)
        std::cout << ", " << payloads.replaced << " damaged cache entries replaced";
    }
    std::cout << ")\n";
    return 0;
  } catch (const qv::FormSourceError& e) {
    std::cerr << "formc: " << e.what() << "\n";
  } catch (const qv::Exception& e) {
    std::cerr << "formc: " << e.ClassName() << ": " << e.Message() << "\n";
  } catch (const std::exception& e) {
    std::cerr << "formc: " << e.what() << "\n";
  }
  return 1;
}
