/* The C library calls through which a process sees a device node: the stat
 * family, under every name glibc has exported, and ioctl. Each does the real
 * call, then shows a file that stands for a node as that block device, or
 * answers the request from the simulated drive. Built without
 * _FILE_OFFSET_BITS so that each name keeps its own layout on 32-bit
 * systems too. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "hooks.h"

/* No longer declared by glibc 2.33 and later, still exported for programs
 * built against older ones. */
int __xstat(int ver, const char *path, struct stat *buf);
int __lxstat(int ver, const char *path, struct stat *buf);
int __fxstat(int ver, int fd, struct stat *buf);
int __fxstatat(int ver, int dirfd, const char *path, struct stat *buf, int flags);
int __xstat64(int ver, const char *path, struct stat64 *buf);
int __lxstat64(int ver, const char *path, struct stat64 *buf);
int __fxstat64(int ver, int fd, struct stat64 *buf);
int __fxstatat64(int ver, int dirfd, const char *path, struct stat64 *buf, int flags);

typedef int fstatat_fn(int, const char *, struct stat *, int);
typedef int fstatat64_fn(int, const char *, struct stat64 *, int);
typedef int statx_fn(int, const char *, int, unsigned int, struct statx *);

static int real_fstatat(int dirfd, const char *path, struct stat *buf, int flags) {
  static fstatat_fn *f;
  if (!f && !(f = (fstatat_fn *)next("fstatat"))) return -1;
  int r = f(dirfd, path, buf, flags);
  if (r == 0) PATCH(buf);
  return r;
}

static int real_fstatat64(int dirfd, const char *path, struct stat64 *buf, int flags) {
  static fstatat64_fn *f;
  if (!f && !(f = (fstatat64_fn *)next("fstatat64"))) return -1;
  int r = f(dirfd, path, buf, flags);
  if (r == 0) PATCH(buf);
  return r;
}

int fstatat(int dirfd, const char *path, struct stat *buf, int flags) {
  return real_fstatat(dirfd, path, buf, flags);
}
int stat(const char *path, struct stat *buf) { return real_fstatat(AT_FDCWD, path, buf, 0); }
int lstat(const char *path, struct stat *buf) {
  return real_fstatat(AT_FDCWD, path, buf, AT_SYMLINK_NOFOLLOW);
}
int fstat(int fd, struct stat *buf) { return real_fstatat(fd, "", buf, AT_EMPTY_PATH); }

int fstatat64(int dirfd, const char *path, struct stat64 *buf, int flags) {
  return real_fstatat64(dirfd, path, buf, flags);
}
int stat64(const char *path, struct stat64 *buf) { return real_fstatat64(AT_FDCWD, path, buf, 0); }
int lstat64(const char *path, struct stat64 *buf) {
  return real_fstatat64(AT_FDCWD, path, buf, AT_SYMLINK_NOFOLLOW);
}
int fstat64(int fd, struct stat64 *buf) { return real_fstatat64(fd, "", buf, AT_EMPTY_PATH); }

/* The version argument names the layout, which the name already gives. */
int __xstat(int ver, const char *path, struct stat *buf) {
  (void)ver;
  return stat(path, buf);
}
int __lxstat(int ver, const char *path, struct stat *buf) {
  (void)ver;
  return lstat(path, buf);
}
int __fxstat(int ver, int fd, struct stat *buf) {
  (void)ver;
  return fstat(fd, buf);
}
int __fxstatat(int ver, int dirfd, const char *path, struct stat *buf, int flags) {
  (void)ver;
  return fstatat(dirfd, path, buf, flags);
}
int __xstat64(int ver, const char *path, struct stat64 *buf) {
  (void)ver;
  return stat64(path, buf);
}
int __lxstat64(int ver, const char *path, struct stat64 *buf) {
  (void)ver;
  return lstat64(path, buf);
}
int __fxstat64(int ver, int fd, struct stat64 *buf) {
  (void)ver;
  return fstat64(fd, buf);
}
int __fxstatat64(int ver, int dirfd, const char *path, struct stat64 *buf, int flags) {
  (void)ver;
  return fstatat64(dirfd, path, buf, flags);
}

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

int ioctl(int fd, unsigned long request, ...) {
  static ioctl_fn *f;
  va_list args;
  va_start(args, request);
  void *arg = va_arg(args, void *);
  va_end(args);
  return answer_ioctl(&f, "ioctl", fd, request, arg);
}
