// Fails the build when a Windows executable is not fit to ship: see
// zur::pe::shipping_problems.
//
//   zur_pecheck FILE...

#include <cstdio>
#include <string>

#include "pe_image.h"

namespace {

bool read_file(const char* path, std::string& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: zur_pecheck FILE...\n", stderr);
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::string bytes;
    if (!read_file(argv[i], bytes)) {
      std::fprintf(stderr, "%s: cannot be read\n", argv[i]);
      status = 1;
      continue;
    }
    const auto facts = zur::pe::read_image(bytes);
    if (!facts) {
      std::fprintf(stderr, "%s: not a valid PE image: %s\n", argv[i], facts.error().c_str());
      status = 1;
      continue;
    }
    for (const auto& problem : zur::pe::shipping_problems(*facts)) {
      std::fprintf(stderr, "%s: %s\n", argv[i], problem.c_str());
      status = 1;
    }
  }
  return status;
}
