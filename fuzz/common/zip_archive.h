// An archive in memory opened by plain libzip, for the targets that read the
// package code's archives back on libzip's own terms.
#pragma once
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>

#include "fuzz/fuzz_support.h"

namespace vnscope::fuzz {

struct ZipDiscard {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipDiscard>;

// `bytes` opened with libzip's `flags`; when libzip refuses them, a failed
// check named `refused`, after libzip's reason.
inline ZipArchive OpenZip(std::span<const uint8_t> bytes, int flags, const char* refused) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  Check(source != nullptr, "libzip source");
  ZipArchive archive(zip_open_from_source(source, flags, &error));
  if (!archive) {
    std::fprintf(stderr, "libzip: %s\n", zip_error_strerror(&error));
    zip_source_free(source);  // the archive did not take it over
  }
  zip_error_fini(&error);
  Check(archive != nullptr, refused);
  return archive;
}

}  // namespace vnscope::fuzz
