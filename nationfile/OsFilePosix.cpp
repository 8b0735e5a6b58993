#include "GameFolder.h"
#include "OsFile.h"
#include "PosixCalls.h"

#include <cerrno>
#include <climits>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nationfile {

const PosixCalls& SystemCalls()
{
    static const PosixCalls calls = {
        [](const char* path, struct stat* info) { return ::stat(path, info); },
        [](const char* path, struct stat* info) { return ::lstat(path, info); },
        [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        [](int fd, struct stat* info) { return ::fstat(fd, info); },
        [](int fd, int command, int argument) { return ::fcntl(fd, command, argument); },
        ::pread,
        ::pwrite,
        ::mmap,
        ::munmap,
        ::fsync,
        ::close,
        ::link,
        [](const char* from, const char* to) {
            return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
        },
        ::unlink,
    };
    return calls;
}

PosixCalls& ActiveCalls()
{
    static PosixCalls calls = SystemCalls();
    return calls;
}

namespace {

const PosixCalls& Os()
{
    return ActiveCalls();
}

OsStatus Errno(int error)
{
    return OsStatus::Failure(std::strerror(error));
}

template <typename Call>
auto RetryOnInterrupt(Call call)
{
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

// A store into a shared mapping raises SIGBUS instead of returning an error
// when the page can't be backed (the file was cut short by another program,
// or a copy-on-write file system is full). The guard turns that into a
// failed write for the one loop that stores, instead of a crash.
// Volatile: only the signal handler reads it, which the compiler can't see.
thread_local sigjmp_buf* volatile busErrorJump = nullptr;

void OnBusError(int)
{
    if (busErrorJump != nullptr)
        siglongjmp(*busErrorJump, 1);
    std::signal(SIGBUS, SIG_DFL);
    std::raise(SIGBUS);
}

bool StoreGuarded(std::uint8_t* mapped, std::span<const ByteAt> bytes)
{
    struct sigaction guard {};
    struct sigaction previous {};
    guard.sa_handler = OnBusError;
    sigemptyset(&guard.sa_mask);
    sigaction(SIGBUS, &guard, &previous);

    sigjmp_buf jump;
    volatile bool stored = false;
    if (sigsetjmp(jump, 1) == 0) {
        busErrorJump = &jump;
        for (const ByteAt& byte : bytes)
            mapped[byte.offset] = byte.value;
        stored = true;
    }
    busErrorJump = nullptr;
    sigaction(SIGBUS, &previous, nullptr);
    return stored;
}

} // namespace

OsFile::~OsFile()
{
    if (fd_ != -1)
        Os().close(fd_);
}

OsStatus OsFile::Open(const std::string& path, WriteAccess write)
{
    // Looking before opening keeps a device or a FIFO from ever being opened:
    // opening one can block or have effects of its own.
    struct stat info {};
    if (RetryOnInterrupt([&] { return Os().stat(path.c_str(), &info); }) == -1)
        return Errno(errno);
    if (S_ISDIR(info.st_mode))
        return Errno(EISDIR);
    if (!S_ISREG(info.st_mode))
        return OsStatus::Failure("Not a regular file");
    const bool readOnly = (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    if (readOnly && write == WriteAccess::Required)
        return OsStatus::Failure("The file is read-only; give yourself permission to write it in your file manager "
                                 "(or with chmod u+w), then try again");

    // No O_CREAT: a path that names no file is an error, never a new empty
    // file. O_NONBLOCK covers a file swapped for a FIFO since the stat above.
    const auto open = [&](int access) {
        return RetryOnInterrupt([&] { return Os().open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0); });
    };
    int fd = open(readOnly ? O_RDONLY : O_RDWR);
    if (fd == -1 && !readOnly && write == WriteAccess::IfAllowed
        && (errno == EACCES || errno == EPERM || errno == EROFS))
        fd = open(O_RDONLY);
    if (fd == -1)
        return Errno(errno);
    fd_ = fd;

    if (Os().fstat(fd_, &info) == -1)
        return Errno(errno);
    if (!S_ISREG(info.st_mode))
        return OsStatus::Failure("Not a regular file");
    const int flags = Os().fcntl(fd_, F_GETFL, 0);
    if (flags == -1 || Os().fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) == -1)
        return Errno(errno);
    return OsStatus::Success();
}

OsStatus OsFile::CreateNew(const std::string& path)
{
    // O_EXCL: fails when anything has the name, a link included.
    const int fd = RetryOnInterrupt(
        [&] { return Os().open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666); });
    if (fd == -1) {
        const int error = errno;
        if (error != EACCES && error != EPERM && error != EROFS)
            return Errno(error);
        const std::string folder = FolderOf(path);
        return OsStatus::Failure("the folder \"" + (folder.empty() ? "." : folder) + "\" refuses new files ("
                                 + std::strerror(error) + ")");
    }
    fd_ = fd;
    return OsStatus::Success();
}

OsStatus OsFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = Os().pwrite(fd_, bytes.data() + done, bytes.size() - done,
                                          static_cast<off_t>(offset + done));
        if (wrote == -1) {
            if (errno == EINTR)
                continue;
            return Errno(errno);
        }
        if (wrote == 0)
            return Errno(ENOSPC);
        done += static_cast<std::size_t>(wrote);
    }
    return OsStatus::Success();
}

OsStatus OsFile::Size(std::uint64_t& size) const
{
    struct stat info {};
    if (Os().fstat(fd_, &info) == -1)
        return Errno(errno);
    size = static_cast<std::uint64_t>(info.st_size);
    return OsStatus::Success();
}

OsStatus OsFile::Identity(FileIdentity& identity) const
{
    struct stat info {};
    if (Os().fstat(fd_, &info) == -1)
        return Errno(errno);
    identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return OsStatus::Success();
}

OsStatus OsFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into) const
{
    std::size_t done = 0;
    while (done < into.size()) {
        const ssize_t got = Os().pread(fd_, into.data() + done, into.size() - done,
                                    static_cast<off_t>(offset + done));
        if (got == -1) {
            if (errno == EINTR)
                continue;
            return Errno(errno);
        }
        if (got == 0)
            return OsStatus::Failure("The file became shorter while it was being read");
        done += static_cast<std::size_t>(got);
    }
    return OsStatus::Success();
}

OsStatus OsFile::StoreBytes(std::uint64_t fileLength, std::span<const ByteAt> bytes)
{
    if (bytes.empty())
        return OsStatus::Success();
    // A shared mapping is the one way to change scattered single bytes of a
    // file without a system call for each of them or rewriting the bytes
    // in between.
    void* mapped = Os().mmap(nullptr, fileLength, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (mapped == MAP_FAILED)
        return Errno(errno);

    // No msync: Linux keeps pages stored through a shared mapping dirty in
    // the page cache like any written page, so the fsync of Sync() writes
    // them; a separate msync(MS_SYNC) costs a second flush of the same pages.
    OsStatus status = OsStatus::Success();
    if (!StoreGuarded(static_cast<std::uint8_t*>(mapped), bytes))
        status = OsStatus::Failure("The file could not be written: it was shortened by another "
                                   "program, or the disk is full or failing");
    if (Os().munmap(mapped, fileLength) == -1 && status)
        status = Errno(errno);
    return status;
}

OsStatus OsFile::Sync()
{
    if (RetryOnInterrupt([&] { return Os().fsync(fd_); }) == -1)
        return Errno(errno);
    return OsStatus::Success();
}

NameHolder WhatHasName(const std::string& path)
{
    struct stat info {};
    if (RetryOnInterrupt([&] { return Os().lstat(path.c_str(), &info); }) == -1)
        return NameHolder::Nothing;
    if (RetryOnInterrupt([&] { return Os().stat(path.c_str(), &info); }) == -1)
        return NameHolder::Other;
    return S_ISREG(info.st_mode) ? NameHolder::File : S_ISDIR(info.st_mode) ? NameHolder::Folder : NameHolder::Other;
}

OsStatus NameWithoutReplacing(const std::string& from, const std::string& to, bool& taken)
{
    taken = false;
    // A hard link fails rather than replace `to`; a file system without hard
    // links may still rename without replacing.
    if (Os().link(from.c_str(), to.c_str()) == 0) {
        Os().unlink(from.c_str());
    } else if (errno == EEXIST) {
        taken = true;
        return OsStatus::Success();
    } else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS || errno == EMLINK) {
        if (Os().renameNoReplace(from.c_str(), to.c_str()) == -1) {
            if (errno == EEXIST) {
                taken = true;
                return OsStatus::Success();
            }
            return Errno(errno);
        }
    } else {
        return Errno(errno);
    }

    // The folder's entry for the new name reaches the disk too.
    const std::size_t slash = to.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : to.substr(0, slash);
    const int fd = RetryOnInterrupt(
        [&] { return Os().open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0); });
    if (fd == -1)
        return Errno(errno);
    // Some file systems can't flush a folder and say so; the name is placed.
    const int synced = RetryOnInterrupt([&] { return Os().fsync(fd); });
    const int error = errno;
    Os().close(fd);
    if (synced == -1 && error != EINVAL && error != EROFS)
        return Errno(error);
    return OsStatus::Success();
}

void RemoveFile(const std::string& path)
{
    Os().unlink(path.c_str());
}

std::string FileBehindLinks(const std::string& path)
{
    std::string behind = path;
    // As many links as the system follows in one path; past that it gives
    // up too (ELOOP), and the open fails first.
    for (int link = 0; link < 40; ++link) {
        struct stat info {};
        if (Os().lstat(behind.c_str(), &info) == -1 || !S_ISLNK(info.st_mode))
            break;
        std::string target(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : PATH_MAX), '\0');
        const ssize_t length = readlink(behind.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) > target.size())
            break;
        target.resize(static_cast<std::size_t>(length));
        const std::size_t slash = behind.find_last_of('/');
        behind = target.starts_with('/') || slash == std::string::npos ? target
                                                                     : behind.substr(0, slash + 1) + target;
    }
    return behind;
}

OsStatus OsFile::Close()
{
    const int fd = fd_;
    fd_ = -1;
    // Linux releases the descriptor even when close is interrupted, so EINTR
    // is no failure here and the call must not be repeated.
    if (Os().close(fd) == -1 && errno != EINTR)
        return Errno(errno);
    return OsStatus::Success();
}

} // namespace nationfile
