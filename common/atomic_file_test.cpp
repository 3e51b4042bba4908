// Tests of whole-file replacement: symbolic links, permission bits, a folder that takes no new file, stale temporaries.
// SPDX-License-Identifier: BSD-3-Clause
#include "common/atomic_file.hpp"

#include <grp.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace common {
namespace {

namespace fs = std::filesystem;

// A fresh folder under the system's temporary directory, removed at the end.
class ScratchFolder {
public:
  ScratchFolder() {
    std::string templ = (fs::temp_directory_path() / "atomic-file-XXXXXX").string();
    path_ = ::mkdtemp(templ.data());
  }
  ~ScratchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

private:
  fs::path path_;
};

std::string read_all(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void write_all_text(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// Replaces the file; the reason of a failure, empty on success.
std::string try_replace(const fs::path& p, const std::string& text) {
  return write_file_whole(p.string(), text.data(), text.size()).value_or("");
}

void replace(const fs::path& p, const std::string& text) {
  EXPECT_EQ(try_replace(p, text), "") << p;
}

std::vector<std::string> names_in(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

unsigned mode_of(const fs::path& p) {
  struct stat st;
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st.st_mode & 07777;
}

// A process id that no longer runs: a child that has ended and been reaped.
long ended_pid() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(0);
  ::waitpid(pid, nullptr, 0);
  return static_cast<long>(pid);
}

TEST(WriteFileWhole, WritesThroughSymbolicLinksAndKeepsThem) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // link name -> target as stored
    const char* target;                                      // file that must receive the bytes
    bool target_exists;
  } cases[] = {
      {"relative link into a subfolder", {{"res", "data/real.res"}}, "data/real.res", true},
      {"absolute link", {{"res", "@/data/real.res"}}, "data/real.res", true},
      {"chain of two links", {{"res", "hop"}, {"hop", "data/real.res"}}, "data/real.res", true},
      {"relative to the link's own folder",
       {{"res", "data/link"}, {"data/link", "real.res"}},
       "data/real.res",
       true},
      {"dangling link", {{"res", "data/new.res"}}, "data/new.res", false},
  };
  for (const auto& c : cases) {
    ScratchFolder dir;
    fs::create_directory(dir.path() / "data");
    if (c.target_exists)
      write_all_text(dir.path() / c.target, "earlier content, longer than the new\n");
    for (const auto& [link, stored] : c.links) {
      std::string to = stored;
      if (to[0] == '@') to = dir.path().string() + to.substr(1);
      fs::create_symlink(to, dir.path() / link);
    }
    replace(dir.path() / "res", "  -101\n");
    EXPECT_EQ(read_all(dir.path() / c.target), "  -101\n") << c.what;
    for (const auto& [link, stored] : c.links)
      EXPECT_TRUE(fs::is_symlink(dir.path() / link))
          << c.what << ": " << link << " is no longer a link";
    // Nothing left beside the file: no temporary in either folder.
    std::vector<std::string> top;
    for (const auto& [link, stored] : c.links)
      if (link.find('/') == std::string::npos) top.push_back(link);
    top.push_back("data");
    std::sort(top.begin(), top.end());
    EXPECT_EQ(names_in(dir.path()), top) << c.what;
    for (const std::string& name : names_in(dir.path() / "data"))
      EXPECT_EQ(name.find(".tmp"), std::string::npos) << c.what << ": " << name;
  }
}

TEST(WriteFileWhole, ReplacementKeepsThePermissionBits) {
  for (unsigned mode : {0600u, 0640u, 0444u, 0755u}) {
    ScratchFolder dir;
    const fs::path file = dir.path() / "VelmorantDS.res";
    write_all_text(file, " 0.5\n");
    ASSERT_EQ(::chmod(file.c_str(), mode), 0);
    replace(file, "  -101\n");
    EXPECT_EQ(mode_of(file), mode) << std::oct << mode;
    EXPECT_EQ(read_all(file), "  -101\n");
  }
  // A new file gets what any program's new file gets: 0666 less the umask.
  ScratchFolder dir;
  const mode_t mask = ::umask(022);
  ::umask(mask);
  replace(dir.path() / "new.res", " 1.0\n");
  EXPECT_EQ(mode_of(dir.path() / "new.res"), 0666u & ~unsigned(mask));
}

// The folder takes no new entry but the file itself is writable: the bytes go
// into the file in place. Run in a child process without the privilege to
// override permissions (root drops to an ordinary user first), so that the
// folder's permissions really refuse the temporary file.
TEST(WriteFileWhole, FolderWithoutWriteAccessFallsBackToWritingInPlace) {
  ScratchFolder scratch;
  const fs::path dir = scratch.path() / "locked";
  fs::create_directory(dir);
  const fs::path file = dir / "VelmorantDS.res";
  write_all_text(file, " 0.25 and an earlier, longer content\n");
  ASSERT_EQ(::chmod(scratch.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);

  // Child's exit codes: 0 all as expected, 77 cannot drop privileges, others name the failed step.
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0) {
      const gid_t nogroup = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(nogroup) != 0 || ::setuid(65534) != 0)
        ::_exit(77);
    }
    // The folder must really refuse a new entry for this process.
    if (::access(dir.c_str(), W_OK) == 0) ::_exit(77);
    if (!try_replace(file, "  -101\n").empty()) ::_exit(1);
    if (read_all(file) != "  -101\n") ::_exit(2);
    if (names_in(dir) != std::vector<std::string>{"VelmorantDS.res"}) ::_exit(3);
    // A file that does not exist cannot be written in place: an error naming it.
    if (try_replace(dir / "absent.res", " 0.5\n").empty()) ::_exit(4);
    if (fs::exists(dir / "absent.res")) ::_exit(5);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ::chmod(dir.c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77)
    GTEST_SKIP() << "cannot run a process that the folder's permissions refuse (no setuid as root)";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed step " << WEXITSTATUS(status);
  EXPECT_EQ(read_all(file), "  -101\n");
  EXPECT_EQ(mode_of(file), 0666u);
}

TEST(WriteFileWhole, TemporaryFilesOfEndedRunsAreRemovedOthersKept) {
  ScratchFolder dir;
  const long gone = ended_pid();
  const long running = static_cast<long>(::getppid());  // the process that started the tests
  const struct {
    std::string name;
    bool removed;
  } cases[] = {
      {temporary_name("DS_experiment.bmp", gone), true},  // kill -9 before the rename
      {temporary_name("VelmorantDS.res", gone), true},
      {temporary_name("DS_experiment.bmp", running), false},  // another run, still working
      {"DS_experiment.bmp.velmorant-12a.tmp", false},
      {"DS_experiment.bmp.velmorant-.tmp", false},
      {".velmorant-" + std::to_string(gone) + ".tmp", false},  // no file name before the marker
      {"notes.tmp", false},
      {"experiment.bmp", false},
  };
  for (const auto& c : cases) write_all_text(dir.path() / c.name, "x");
  // A folder named like a temporary file is not a file of ours.
  fs::create_directory(dir.path() / temporary_name("folder", gone));

  replace(dir.path() / "VelmorantDS.res", " 0.5\n");

  for (const auto& c : cases) EXPECT_EQ(!fs::exists(dir.path() / c.name), c.removed) << c.name;
  EXPECT_TRUE(fs::is_directory(dir.path() / temporary_name("folder", gone)));
  EXPECT_EQ(read_all(dir.path() / "VelmorantDS.res"), " 0.5\n");
  // Removing again finds nothing more to remove.
  EXPECT_EQ(remove_stale_temporaries(dir.path().string()), 0);
}

// A write that fails half way (the file size limit of the process is below
// the new content) leaves the earlier file as it was and no temporary file.
TEST(WriteFileWhole, FailedWriteKeepsTheEarlierFile) {
  ScratchFolder dir;
  const fs::path file = dir.path() / "VelmorantDS.res";
  write_all_text(file, " 0.5\n");
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write then fails with EFBIG
    const rlimit limit{4096, 4096};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(77);
    const std::string reason = try_replace(file, std::string(100000, 'x'));
    ::_exit(reason.empty() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "cannot limit the file size";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write did not fail";
  EXPECT_EQ(read_all(file), " 0.5\n");
  EXPECT_EQ(names_in(dir.path()), std::vector<std::string>{"VelmorantDS.res"});
}

TEST(WriteFileWhole, MissingFolderIsTheReason) {
  ScratchFolder dir;
  const std::string reason = try_replace(dir.path() / "absent" / "out.res", " 0.5\n");
  EXPECT_EQ(reason, "the folder \"" + (dir.path() / "absent").string() + "\" does not exist");
  EXPECT_EQ(write_failure_message("the result file", "out.res", reason),
            "cannot write the result file \"out.res\": " + reason);
}

}  // namespace
}  // namespace common
