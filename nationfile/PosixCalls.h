#pragma once

#include <cstddef>

#include <sys/stat.h>
#include <sys/types.h>

namespace nationfile {

// The POSIX calls OsFile makes, as a table that a test can point elsewhere
// to make any one of them fail the way a disk, a network share or a full
// file system does.
struct PosixCalls {
    int (*stat)(const char* path, struct stat* info);
    int (*lstat)(const char* path, struct stat* info);
    int (*open)(const char* path, int flags, mode_t mode);
    int (*fstat)(int fd, struct stat* info);
    int (*fcntl)(int fd, int command, int argument);
    ssize_t (*pread)(int fd, void* buffer, std::size_t count, off_t offset);
    ssize_t (*pwrite)(int fd, const void* buffer, std::size_t count, off_t offset);
    void* (*mmap)(void* address, std::size_t length, int protection, int flags, int fd, off_t offset);
    int (*munmap)(void* address, std::size_t length);
    int (*fsync)(int fd);
    int (*close)(int fd);
    int (*link)(const char* from, const char* to);
    // rename(2) that fails with EEXIST rather than replace `to`.
    int (*renameNoReplace)(const char* from, const char* to);
    int (*unlink)(const char* path);
};

// The operating system's own calls.
const PosixCalls& SystemCalls();
// The calls OsFile uses; the system's unless a test has changed them.
PosixCalls& ActiveCalls();

} // namespace nationfile
