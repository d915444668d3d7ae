#pragma once
// What the system says about a serial device that could not be had: who holds it, and what a user who may
// not open it must do. POSIX only (CUCommAccess_posix.cpp), used by the port's backend.

#include <sys/types.h>
#include <string>
#include <vector>

namespace tessel_comm {

// The folders where programs leave UUCP lock files.
inline const std::vector<std::string> kUucpLockDirectories{"/run/lock", "/var/lock"};

// The program that holds the device at `path`, as "<pid> (<name>)", when a lock names it: an advisory lock
// on the device (/proc/locks) of another process, else a UUCP lock file "LCK..<device name>" in one of
// `lockDirectories` whose process is alive. Empty when no lock names one. `self` is the caller's own pid,
// which an advisory lock names for every descriptor the caller holds; it is reported only when no other
// holder is. A lock file is believed only when it is a regular file (not a link, a FIFO or a device), and
// only its first bytes are read: the folders may be written by anyone, so the call never waits on a
// planted file nor reads more than a pid's worth of it.
std::string PortHolder(const std::string& path, pid_t self,
                       const std::vector<std::string>& lockDirectories = kUucpLockDirectories);

// Why the user may not open the device at `path` and what to do: the group that may use it ("пользователь
// должен входить в группу dialout …"), or that only its owner may, for which the udev rule is the cure.
std::string NoPermissionAdvice(const std::string& path);

}  // namespace tessel_comm
