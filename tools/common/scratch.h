// Scratch files of the two command-line programs. A file that is written whole
// is written unnamed (O_TMPFILE) and named only once complete, so a killed run
// leaves nothing behind. Where a name is needed (several files written by
// pattern, a filesystem without O_TMPFILE, the moment between link and
// rename), the name carries this host and this process id, and any later run
// in that folder removes what a process that is gone left there.
#pragma once

#include <string>
#include <sys/types.h>

namespace scratch
{

// True when KESTREL_SCRATCH_NAMED is set to a non-empty value: unnamed files
// are then refused as a filesystem without O_TMPFILE would, so the named
// fallback is what runs (tests use it).
bool namedOnly();

// An unnamed file open for reading and writing in `folder` with `mode`
// (before the umask), or -1 with errno set. Refused (EOPNOTSUPP) also when
// /proc is not mounted, since publish() could not name the file then.
int openUnnamed(const std::string& folder, mode_t mode);

// A template for mkstemp/mkdtemp in `folder`: a hidden name made from `base`
// and marked with this host and process ("<folder>/.<base>.kestrel-scratch@
// HOST@PID@XXXXXX"). `base` is cut so that the name stays within 255 bytes.
std::string namedTemplate(const std::string& folder, const std::string& base);

// Gives the unnamed file `fd` the path `target`, replacing what is there: it
// is linked under a marked scratch name in the target's folder, then renamed
// over the target. Returns 0, or the errno of the step that failed (nothing
// is then left under the scratch name).
int publish(int fd, const std::string& target);

// Removes the entries of `folder` (files, or folders with what they hold) whose
// mark names this host and a process that no longer exists. Entries of other
// hosts, of live processes and without the mark are left alone.
void removeLeftovers(const std::string& folder);

// The user's private folder for links and other scratch names that must not
// lie in a shared folder: $XDG_RUNTIME_DIR when it is a folder of this user
// with mode 0700, else "<$TMPDIR or /tmp>/kestrel-UID", made with mode 0700
// when missing. Returns "" with errno set when that folder cannot be made or
// is not a folder of this user with mode 0700 (EPERM then).
std::string runtimeFolder();

} // namespace scratch
