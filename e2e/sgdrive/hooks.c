/* The C library calls through which a process sees a device node: the stat
 * family, under every name glibc has exported, and ioctl. Each does the real
 * call, then shows a file that stands for a node as that block device, or
 * answers the request from the simulated drive. Built without
 * _FILE_OFFSET_BITS so that each name keeps its own layout on 32-bit
 * systems too. */
#define _GNU_SOURCE
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "hooks.h"

STAT_HOOKS(struct stat, real_fstatat, fstatat, stat, lstat, fstat)
STAT_HOOKS(struct stat64, real_fstatat64, fstatat64, stat64, lstat64, fstat64)

/* The names glibc 2.33 and later no longer declare, still exported for
 * programs built against older ones. The version argument names the layout,
 * which the name already gives. */
#define XSTAT_HOOKS(ST, XSTAT, LXSTAT, FXSTAT, FXSTATAT, STAT, LSTAT, FSTAT, FSTATAT)         \
  int XSTAT(int ver __attribute__((unused)), const char *path, ST *buf) {                    \
    return STAT(path, buf);                                                                  \
  }                                                                                          \
  int LXSTAT(int ver __attribute__((unused)), const char *path, ST *buf) {                   \
    return LSTAT(path, buf);                                                                 \
  }                                                                                          \
  int FXSTAT(int ver __attribute__((unused)), int fd, ST *buf) { return FSTAT(fd, buf); }    \
  int FXSTATAT(int ver __attribute__((unused)), int dirfd, const char *path, ST *buf,        \
               int flags) {                                                                  \
    return FSTATAT(dirfd, path, buf, flags);                                                 \
  }

XSTAT_HOOKS(struct stat, __xstat, __lxstat, __fxstat, __fxstatat, stat, lstat, fstat, fstatat)
XSTAT_HOOKS(struct stat64, __xstat64, __lxstat64, __fxstat64, __fxstatat64, stat64, lstat64,
            fstat64, fstatat64)

typedef int statx_fn(int, const char *, int, unsigned int, struct statx *);

int statx(int dirfd, const char *path, int flags, unsigned int mask, struct statx *buf) {
  static statx_fn *f;
  if (!f && !(f = (statx_fn *)next("statx"))) return -1;
  int r = f(dirfd, path, flags, mask, buf);
  unsigned major_, minor_;
  if (r == 0 && sgdrive_node(buf->stx_dev_major, buf->stx_dev_minor, buf->stx_ino, &major_, &minor_)) {
    buf->stx_mode = (buf->stx_mode & ~S_IFMT) | S_IFBLK;
    buf->stx_rdev_major = major_;
    buf->stx_rdev_minor = minor_;
    buf->stx_size = 0;
  }
  return r;
}

IOCTL_HOOK(ioctl)
