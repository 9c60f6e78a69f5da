#pragma once
// A disk that is full after a few bytes, without privileges or a file system to mount: while a
// FullDisk lives, no file of this process may grow past `room` bytes (the file size limit,
// RLIMIT_FSIZE), so a write beyond it fails in the kernel as a full disk's does (EFBIG, "File
// too large", where a full disk says ENOSPC). The signal the limit raises is ignored.

#include <csignal>
#include <sys/resource.h>

class FullDisk {
public:
    explicit FullDisk(rlim_t room)
    {
        getrlimit(RLIMIT_FSIZE, &m_before);
        limitThisProcess(room);
    }
    ~FullDisk() { setrlimit(RLIMIT_FSIZE, &m_before); }
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    // The same for the calling process from now on; for a program started by a test, call it in
    // QProcess::setChildProcessModifier (both the limit and the ignored signal pass to the program).
    // With keepSignal the signal is left as it is (it ends a program that does not ignore it), as
    // under a shell's "ulimit -f".
    static void limitThisProcess(rlim_t room, bool keepSignal = false)
    {
        if (!keepSignal)
            std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = room;
        setrlimit(RLIMIT_FSIZE, &limit);
    }

private:
    rlimit m_before{};
};
