// Replacing a file as a whole: a crash never leaves it half written.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace common {

// Writes `size` bytes to a temporary file in the folder of the file and then
// renames it over the file, which atomically replaces any earlier content.
//
//  - A symbolic link is followed (through any chain of links, relative ones
//    taken from the link's own folder): the file it points at is replaced
//    and the link stays a link.
//  - An existing file keeps its permission bits (and, where the process may
//    set them, its owner and group); a new file gets 0666 less the umask.
//  - When the folder cannot take a temporary file (or the rename is refused)
//    although the file itself exists and is writable, the bytes are written
//    into the file in place instead. That path is not atomic: a failure in
//    the middle can leave the file incomplete, and the reason then says so.
//  - Temporary files are named "<name>.velmorant-<pid>.tmp". Before writing,
//    those left in the folder by processes that no longer run (a kill -9
//    between the write and the rename) are removed; see
//    remove_stale_temporaries.
//
// Returns nothing on success. On failure the temporary file is removed, the
// file is left as it was (except after a failure in place, see above) and
// the reason is returned, one line without the file's name ("Permission
// denied", "the folder "out" does not exist"); write_failure_message makes
// the message of it.
[[nodiscard]] std::optional<std::string> write_file_whole(const std::string& path,
                                                          const void* bytes, std::size_t size);

// "cannot write <what> "<path>": <reason>"; `what` names the kind of file
// ("the simulated image", "the result file").
std::string write_failure_message(const std::string& what, const std::string& path,
                                  const std::string& reason);

// Name of the temporary file that process `pid` uses to replace the file
// called `name` (a name without folder).
std::string temporary_name(const std::string& name, long pid);

// Removes from `folder` the regular files named like temporary files of
// write_file_whole whose process no longer runs (the own process's count as
// stale too: it writes one file at a time). Files of running processes and
// all other files are left alone; failures are ignored. Returns the number
// of files removed.
int remove_stale_temporaries(const std::string& folder);

}  // namespace common
