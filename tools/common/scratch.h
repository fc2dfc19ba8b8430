// Scratch files of the two command-line programs. A file that is written whole
// is written unnamed (O_TMPFILE) and named only once complete, so a killed run
// leaves nothing behind. Where a name is needed (several files written by
// pattern, a filesystem without O_TMPFILE, the moment between link and
// rename), the name is marked (".BASE.kestrel-scratch@HOST@PID@XXXXXX") and
// its maker holds an open-file-description lock on it (on the file "lock"
// inside a marked folder) for as long as it runs. A later run in that folder
// removes a marked entry only when it can take that lock itself, or, for a
// folder of this host without its lock file, when its maker has ended.
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
// (before the umask), locked as in use, or -1 with errno set. Refused
// (EOPNOTSUPP) also when /proc is not mounted, since publish() could not name
// the file then.
int openUnnamed(const std::string& folder, mode_t mode);

// A new file (mode 0600) with a marked hidden name made from `base` in
// `folder`, open for reading and writing and locked as in use; `path` gets its
// path. -1 with errno set.
int openMarked(const std::string& folder, const std::string& base, std::string& path);

// A new folder (mode 0700) with a marked hidden name made from `base` inside
// the folder open as `parentFd`, held open: its descriptor, or -1 with errno
// set. `name` gets its name, `lockFd` the open file "lock" in it whose lock
// shows it in use (close it after the folder is gone).
int makeMarkedFolder(int parentFd, const std::string& base, std::string& name, int& lockFd);

// Removes what the folder open as `dirFd` holds (files, and folders with what
// they hold); links are removed, never followed.
void removeContents(int dirFd);

// Makes the names in the folder open as `dirFd` durable: 0, or the errno.
int syncFolder(int dirFd);

// What publish() did: `error` is 0 or the errno of the step that failed;
// `placed` tells that the new file had already taken the target's place (only
// the folder's sync failed).
struct Published {
    int error = 0;
    bool placed = false;
};

// Gives the new file `fd` the path `target`, replacing what is there, so that
// after a power cut `target` holds the old file or the whole new one: the
// file's data is synced, the file named (`named`, its marked name; when empty
// the unnamed file is linked under one) and renamed over `target`, and then
// the folder is synced. On failure before the rename nothing is left under a
// name made here (`named` stays for its owner to remove).
Published publish(int fd, const std::string& named, const std::string& target);

// Removes the entries of `folder` (files, or folders with what they hold)
// that a run which is gone left there: a whole marked name, owned by this
// user, whose lock this process can take. A folder of this host without its
// lock file (its maker was killed before making it, or while removing the
// folder) goes when no process has the id its name records, or only one that
// started after the folder was made; a stopped maker is still alive. An entry
// marked by another host, or whose lock cannot even be tried (some network
// filesystems), goes only when it has not been changed for an hour.
void removeLeftovers(const std::string& folder);

// The user's private folder for links and other scratch names that must not
// lie in a shared folder: $XDG_RUNTIME_DIR when it is a private folder of this
// user, else "<$TMPDIR or /tmp>/kestrel-UID", made with mode 0700 when
// missing. Private: a real folder, not a link, of the effective user, that
// group and others cannot enter; "kestrel-UID" of this user loses the group
// and other bits it has. Returns "" with errno set when there is none (EPERM:
// a link, or a folder of another user).
std::string runtimeFolder();

} // namespace scratch
