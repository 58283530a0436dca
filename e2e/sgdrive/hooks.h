/* What both units of C library hooks share: finding the real call, showing a
 * marker file as its block device, and answering or passing on an ioctl.
 * Each unit includes this under its own struct stat layout. */
#pragma once

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/sysmacros.h>

#include "sgdrive.h"

typedef int ioctl_fn(int, unsigned long, void *);

static inline void *next(const char *name) {
  void *f = dlsym(RTLD_NEXT, name);
  if (!f) errno = ENOSYS;
  return f;
}

#define PATCH(st)                                                                         \
  do {                                                                                    \
    unsigned major_, minor_;                                                              \
    if (sgdrive_node(major((st)->st_dev), minor((st)->st_dev), (st)->st_ino, &major_, &minor_)) { \
      (st)->st_mode = ((st)->st_mode & ~S_IFMT) | S_IFBLK;                                \
      (st)->st_rdev = makedev(major_, minor_);                                            \
      (st)->st_size = 0;                                                                  \
    }                                                                                     \
  } while (0)

/* The request answered from the simulated drive, or handed to the C
 * library's own call of that name. */
static inline int answer_ioctl(ioctl_fn **real, const char *name, int fd, unsigned long request,
                               void *arg) {
  int result;
  if (sgdrive_ioctl(fd, request, arg, &result)) return result;
  if (!*real && !(*real = (ioctl_fn *)next(name))) return -1;
  return (*real)(fd, request, arg);
}

/* ioctl under one of its names; the one argument it takes is a pointer. */
#define IOCTL_HOOK(NAME)                                   \
  int NAME(int fd, unsigned long request, ...) {           \
    static ioctl_fn *f;                                    \
    va_list args;                                          \
    va_start(args, request);                               \
    void *arg = va_arg(args, void *);                      \
    va_end(args);                                          \
    return answer_ioctl(&f, #NAME, fd, request, arg);      \
  }

/* The stat family for one layout of struct stat (ST): the real FSTATAT,
 * looked up by its name, does every call, and the marker is patched in;
 * STAT, LSTAT and FSTAT are FSTATAT with their flags. They go through the
 * static REAL, not the exported FSTATAT, as a hook of one name should not
 * land in another's. */
#define STAT_HOOKS(ST, REAL, FSTATAT, STAT, LSTAT, FSTAT)                                 \
  static int REAL(int dirfd, const char *path, ST *buf, int flags) {                      \
    static int (*f)(int, const char *, ST *, int);                                        \
    if (!f && !(f = (int (*)(int, const char *, ST *, int))next(#FSTATAT))) return -1;    \
    int r = f(dirfd, path, buf, flags);                                                   \
    if (r == 0) PATCH(buf);                                                               \
    return r;                                                                             \
  }                                                                                       \
  int FSTATAT(int dirfd, const char *path, ST *buf, int flags) {                          \
    return REAL(dirfd, path, buf, flags);                                                 \
  }                                                                                       \
  int STAT(const char *path, ST *buf) { return REAL(AT_FDCWD, path, buf, 0); }            \
  int LSTAT(const char *path, ST *buf) {                                                  \
    return REAL(AT_FDCWD, path, buf, AT_SYMLINK_NOFOLLOW);                                \
  }                                                                                       \
  int FSTAT(int fd, ST *buf) { return REAL(fd, "", buf, AT_EMPTY_PATH); }
