// Replacing a file as a whole through a temporary file and a rename.
#include "image/write_file_whole.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmorant {

namespace {

std::string parent_folder(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool is_folder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void fail(const std::string& path, const std::string& what, int err) {
  std::string reason;
  std::string folder = parent_folder(path);
  if (err == ENOENT && !is_folder(folder))
    reason = "the folder \"" + folder + "\" does not exist";
  else if (err == ENOTDIR)
    reason = "\"" + folder + "\" is not a folder";
  else
    reason = std::strerror(err);
  throw FileError("cannot write " + what + " \"" + path + "\": " + reason);
}

}  // namespace

void write_file_whole(const std::string& path, const void* bytes, std::size_t size,
                      const std::string& what) {
  const std::string temp = path + ".tmp" + std::to_string(static_cast<long>(::getpid()));
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0 && errno == EEXIST) {  // left over by an earlier crashed run of the same pid
    ::unlink(temp.c_str());
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  }
  if (fd < 0) fail(path, what, errno);

  const char* p = static_cast<const char*>(bytes);
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int err = n < 0 ? errno : EIO;
      ::close(fd);
      ::unlink(temp.c_str());
      fail(path, what, err);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  // The data must be on disk before the new name points at it.
  if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
    int err = errno;
    ::close(fd);
    ::unlink(temp.c_str());
    fail(path, what, err);
  }
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    fail(path, what, err);
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    fail(path, what, err);
  }
}

}  // namespace velmorant
