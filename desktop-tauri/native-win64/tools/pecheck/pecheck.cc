// The PE tool of the build and the release check.
//
//   zur_pecheck FILE...                      fails when a Windows executable is not fit to
//                                            ship (see zur::pe::shipping_problems), or
//                                            carries more than its sections and one signature
//   zur_pecheck --signature FILE             "unsigned", "signed, not timestamped" or
//                                            "signed, timestamped TIME"; fails (1) with what
//                                            the file carries beyond its sections and one
//                                            signature (see zur::pe::read_signature)
//   zur_pecheck --compare FILE REBUILT       fails (1) with where FILE first differs from
//                                            REBUILT in what a signature covers
//   zur_pecheck --carried-host FILE OUT      writes the one image that the installer FILE
//                                            carries to OUT, and prints its offset and length;
//                                            fails (1) when it carries none or several
//   zur_pecheck --headers-only-image OUT     writes a 512-byte image of headers only
//
// A verdict goes to standard output; exit status 2, with one line on
// standard error, when a file cannot be read or is not a PE32+ image (or for
// a wrong command line).

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "authenticode.h"
#include "pe_image.h"

namespace {

constexpr int kFails = 1;
constexpr int kCannot = 2;

bool read_file(const char* path, std::string& bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) return false;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}

// Written whole, or the tool fails.
bool write_file(const char* path, std::string_view bytes) {
  std::FILE* file = std::fopen(path, "wb");
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && written;
}

int cannot(const char* path, const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", path, why.c_str());
  return kCannot;
}

// A file and its facts, or the line that says why there are none.
struct Image {
  std::string bytes;
  zur::pe::ImageFacts facts;
};
bool load(const char* path, Image& image, int& status) {
  if (!read_file(path, image.bytes)) return status = cannot(path, "cannot be read"), false;
  auto facts = zur::pe::read_image(image.bytes);
  if (!facts) return status = cannot(path, "not a valid PE image: " + facts.error()), false;
  image.facts = *facts;
  return true;
}

int ship_check(int count, char** paths) {
  int status = 0;
  for (int i = 0; i < count; ++i) {
    std::string bytes;
    if (!read_file(paths[i], bytes)) {
      std::fprintf(stderr, "%s: cannot be read\n", paths[i]);
      status = 1;
      continue;
    }
    const auto facts = zur::pe::read_image(bytes);
    if (!facts) {
      std::fprintf(stderr, "%s: not a valid PE image: %s\n", paths[i], facts.error().c_str());
      status = 1;
      continue;
    }
    for (const auto& problem : zur::pe::shipping_problems(*facts)) {
      std::fprintf(stderr, "%s: %s\n", paths[i], problem.c_str());
      status = 1;
    }
    if (const auto signature = zur::pe::read_signature(bytes, *facts); !signature) {
      std::fprintf(stderr, "%s: %s\n", paths[i], signature.error().c_str());
      status = 1;
    }
  }
  return status;
}

int signature(const char* path) {
  Image image;
  int status;
  if (!load(path, image, status)) return status;
  const auto signature = zur::pe::read_signature(image.bytes, image.facts);
  if (!signature) return std::printf("%s\n", signature.error().c_str()), kFails;
  if (!signature->present) return std::puts("unsigned"), 0;
  if (signature->timestamp.empty()) return std::puts("signed, not timestamped"), 0;
  return std::printf("signed, timestamped %s\n", signature->timestamp.c_str()), 0;
}

int compare(const char* path, const char* rebuilt_path) {
  Image image, rebuilt;
  int status;
  if (!load(path, image, status) || !load(rebuilt_path, rebuilt, status)) return status;
  const std::string difference = zur::pe::covered_difference(image.bytes, image.facts, rebuilt.bytes, rebuilt.facts);
  if (difference.empty()) return 0;
  std::printf("%s\n", difference.c_str());
  return kFails;
}

int carried_host(const char* path, const char* out) {
  Image installer;
  int status;
  if (!load(path, installer, status)) return status;
  const auto host = zur::pe::carried_image(installer.bytes, installer.facts);
  if (!host) return std::printf("%s\n", host.error().c_str()), kFails;
  if (!write_file(out, std::string_view(installer.bytes).substr(host->offset, host->size))) {
    return cannot(out, "cannot be written");
  }
  std::printf("%zu %zu\n", host->offset, host->size);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view verb = argc > 1 ? argv[1] : "";
  if (verb == "--signature" && argc == 3) return signature(argv[2]);
  if (verb == "--compare" && argc == 4) return compare(argv[2], argv[3]);
  if (verb == "--carried-host" && argc == 4) return carried_host(argv[2], argv[3]);
  if (verb == "--headers-only-image" && argc == 3) {
    return write_file(argv[2], zur::pe::headers_only_image()) ? 0 : cannot(argv[2], "cannot be written");
  }
  if (argc < 2 || verb.starts_with("--")) {
    std::fputs("usage: zur_pecheck FILE... | --signature FILE | --compare FILE REBUILT | --carried-host FILE OUT | "
               "--headers-only-image OUT\n",
               stderr);
    return kCannot;
  }
  return ship_check(argc - 1, argv + 1);
}
