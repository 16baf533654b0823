#include "server/package_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "server/socket_io.h"

namespace vnscope::server {
namespace {

std::string SystemError(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Creates `path` (emptying any file of that name), has `fill` write the
// contents, syncs them and closes; removes the file on any failure. The
// synced pages are dropped from the page cache: nothing reads a package soon
// after it is written, and on virtual machines touching fresh cache pages
// costs about as much CPU as the copy itself.
template <typename Fill>
bool WriteSyncedFile(const std::filesystem::path& path, Fill fill, std::string* error) {
  UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0640));
  if (fd.get() < 0) {
    *error = SystemError("cannot create", path);
    return false;
  }
  bool ok = fill(fd.get(), error);
  if (ok && fdatasync(fd.get()) != 0) {
    *error = SystemError("cannot sync", path);
    ok = false;
  }
  if (ok) posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);  // only advice: its failure changes nothing
  if (ok && close(fd.Release()) != 0) {
    *error = SystemError("cannot close", path);
    ok = false;
  }
  if (!ok) unlink(path.c_str());
  return ok;
}

}  // namespace

std::filesystem::path PackagePath(const std::filesystem::path& folder, const std::string& name) {
  return folder / (name + kPackageSuffix);
}

bool WritePackageFile(const std::filesystem::path& folder, const std::string& name, std::span<const uint8_t> data,
                      std::string* error) {
  const std::filesystem::path path = PackagePath(folder, name);
  return WriteSyncedFile(
      path,
      [&](int fd, std::string* fill_error) {
        if (WriteAll(fd, data.data(), data.size())) return true;
        *fill_error = SystemError("cannot write", path);
        return false;
      },
      error);
}

bool CopyPackageFile(const std::filesystem::path& from_folder, const std::filesystem::path& to_folder,
                     const std::string& name, uint64_t expected_size, mode_t mode, std::string* error) {
  const std::filesystem::path source = PackagePath(from_folder, name);
  UniqueFd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    *error = SystemError("cannot open", source);
    return false;
  }
  // Nothing cleans up after an interrupted backup, and a lost package may be
  // put back from one by hand: there a file under its own name is always
  // whole, so it is copied under a temporary name and then renamed.
  const std::filesystem::path unfinished = to_folder / (name + kUnfinishedSuffix);
  const bool copied_whole = WriteSyncedFile(
      unfinished,
      [&](int out, std::string* fill_error) {
        if (fchmod(out, mode) != 0) {
          *fill_error = SystemError("cannot set the mode of", unfinished);
          return false;
        }
        uint64_t copied = 0;
        std::vector<uint8_t> block(1 << 20);
        for (;;) {
          const ssize_t n = read(in.get(), block.data(), block.size());
          if (n < 0 && errno == EINTR) continue;
          if (n < 0) {
            *fill_error = SystemError("cannot read", source);
            return false;
          }
          if (n == 0) break;
          if (!WriteAll(out, block.data(), static_cast<size_t>(n))) {
            *fill_error = SystemError("cannot write", unfinished);
            return false;
          }
          copied += static_cast<uint64_t>(n);
        }
        if (copied == expected_size) return true;
        *fill_error = source.string() + " has " + std::to_string(copied) + " bytes, the store expects " +
                      std::to_string(expected_size);
        return false;
      },
      error);
  if (!copied_whole) return false;
  if (rename(unfinished.c_str(), PackagePath(to_folder, name).c_str()) == 0) return true;
  *error = SystemError("cannot rename", unfinished);
  unlink(unfinished.c_str());
  return false;
}

bool ReadPackageFile(const std::filesystem::path& folder, const std::string& name, uint64_t expected_size,
                     std::vector<uint8_t>* data, std::string* error) {
  const std::filesystem::path path = PackagePath(folder, name);
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info{};
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0) {
    *error = SystemError("cannot open", path);
    return false;
  }
  if (static_cast<uint64_t>(info.st_size) != expected_size) {
    *error = path.string() + " has " + std::to_string(info.st_size) + " bytes, the store expects " +
             std::to_string(expected_size);
    return false;
  }
  data->resize(expected_size);
  size_t have = 0;
  while (have < expected_size) {
    const ssize_t n = read(fd.get(), data->data() + have, expected_size - have);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = n == 0 ? path.string() + " ended early" : SystemError("cannot read", path);
      return false;
    }
    have += static_cast<size_t>(n);
  }
  return true;
}

bool SyncFolder(const std::filesystem::path& folder, std::string* error) {
  UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() < 0 || fsync(fd.get()) != 0) {
    *error = SystemError("cannot sync", folder);
    return false;
  }
  return true;
}

}  // namespace vnscope::server
