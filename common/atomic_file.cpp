// Replacing a file as a whole through a temporary file and a rename, with the fallbacks a shared folder needs.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/atomic_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace common {

namespace {

constexpr const char* kTempMarker = ".velmorant-";  // <name>.velmorant-<pid>.tmp
constexpr const char* kTempEnd = ".tmp";
constexpr int kMaxLinkHops = 40;  // as the kernel's own limit for path resolution

std::string parent_folder(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_name(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string in_folder(const std::string& folder, const std::string& name) {
  if (folder == ".") return name;
  if (folder == "/") return "/" + name;
  return folder + "/" + name;
}

bool is_folder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The file a path finally names: symbolic links followed one by one, a
// relative target taken from the folder of its link. A dangling link gives
// the path of the missing target (it is created there); a loop stops after
// kMaxLinkHops and the open reports it.
std::string resolve_links(const std::string& path) {
  std::string p = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 4095) + 1);
    const ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return p;
    std::string target(buf.data(), static_cast<std::size_t>(n));
    p = target[0] == '/' ? target : in_folder(parent_folder(p), target);
  }
  return p;
}

// The reason of a failure with error number `err` to write `path`.
std::string failure(const std::string& path, int err, const std::string& note = "") {
  std::string reason;
  std::string folder = parent_folder(path);
  if (err == ENOENT && !is_folder(folder))
    reason = "the folder \"" + folder + "\" does not exist";
  else if (err == ENOTDIR)
    reason = "\"" + folder + "\" is not a folder";
  else
    reason = std::strerror(err);
  return reason + note;
}

// Writes all bytes; false with errno set on failure (a zero-length write counts as EIO).
bool write_all(int fd, const void* bytes, std::size_t size) {
  const char* p = static_cast<const char*>(bytes);
  std::size_t left = size;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// The folder refuses a new entry, but the file may still be writable.
bool folder_refuses(int err) { return err == EACCES || err == EPERM || err == EROFS; }

// The non-atomic path: overwrite the existing file's bytes, then cut it to size.
std::optional<std::string> write_in_place(const std::string& shown, const std::string& target,
                                          const void* bytes, std::size_t size, int folder_error) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return failure(shown, folder_error);  // neither the folder nor the file takes it
  const std::string damaged =
      " (written in place, as its folder takes no temporary file: the file may be incomplete)";
  if (!write_all(fd, bytes, size) || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    const int err = errno;
    ::close(fd);
    return failure(shown, err, damaged);
  }
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
    const int err = errno;
    ::close(fd);
    return failure(shown, err, damaged);
  }
  if (::close(fd) != 0) return failure(shown, errno, damaged);
  return std::nullopt;
}

// pid parsed from a temporary file's name, or -1 when the name is not one.
long temporary_pid(const std::string& name) {
  const std::size_t end_len = std::strlen(kTempEnd);
  if (name.size() <= end_len || name.compare(name.size() - end_len, end_len, kTempEnd) != 0)
    return -1;
  const std::size_t marker = name.rfind(kTempMarker);
  if (marker == std::string::npos || marker == 0) return -1;
  const std::size_t first = marker + std::strlen(kTempMarker), last = name.size() - end_len;
  if (first >= last || last - first > 9) return -1;
  long pid = 0;
  for (std::size_t k = first; k < last; ++k) {
    if (name[k] < '0' || name[k] > '9') return -1;
    pid = pid * 10 + (name[k] - '0');
  }
  return pid > 0 ? pid : -1;
}

}  // namespace

std::string temporary_name(const std::string& name, long pid) {
  return name + kTempMarker + std::to_string(pid) + kTempEnd;
}

int remove_stale_temporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  std::vector<std::string> stale;
  const long self = static_cast<long>(::getpid());
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    const long pid = temporary_pid(name);
    if (pid < 0) continue;
    // A process that still runs may be about to rename its file: keep it.
    // (EPERM: it runs under another user.)
    if (pid != self && !(::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)) continue;
    struct stat st;
    const std::string path = in_folder(folder, name);
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) stale.push_back(path);
  }
  ::closedir(dir);
  int removed = 0;
  for (const std::string& path : stale) removed += ::unlink(path.c_str()) == 0;
  return removed;
}

std::string write_failure_message(const std::string& what, const std::string& path,
                                  const std::string& reason) {
  return "cannot write " + what + " \"" + path + "\": " + reason;
}

std::optional<std::string> write_file_whole(const std::string& path, const void* bytes,
                                            std::size_t size) {
  const std::string target = resolve_links(path);
  const std::string folder = parent_folder(target);
  remove_stale_temporaries(folder);

  struct stat existing;
  const bool exists = ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  const std::string temp =
      in_folder(folder, temporary_name(base_name(target), static_cast<long>(::getpid())));
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) {  // left over by an earlier crashed run of the same pid
    ::unlink(temp.c_str());
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  }
  if (fd < 0) {
    const int err = errno;
    if (exists && folder_refuses(err)) return write_in_place(path, target, bytes, size, err);
    return failure(path, err);
  }
  if (exists) {
    // The replacement takes over the permissions (and where allowed the owner)
    // of the file it replaces; a refused chown leaves the process's own.
    (void)::fchown(fd, existing.st_uid, existing.st_gid);
    (void)::fchmod(fd, existing.st_mode & 07777);
  }

  if (!write_all(fd, bytes, size)) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return failure(path, err);
  }
  // The data must be on disk before the new name points at it.
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
    const int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    return failure(path, err);
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    return failure(path, err);
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    if (exists && (folder_refuses(err) || err == EBUSY))
      return write_in_place(path, target, bytes, size, err);
    return failure(path, err);
  }
  return std::nullopt;
}

}  // namespace common
