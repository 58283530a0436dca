/* 32-bit programs built with a 64-bit time_t, as Debian's i386 Wine is, call
 * the stat family and ioctl under glibc's time64 names, with the time64
 * layout of struct stat. This unit is built for that layout (32-bit builds
 * only) and shows the same nodes and answers the same requests as hooks.c. */
#define _GNU_SOURCE
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64
#include <fcntl.h>
#include <stdarg.h>
#include <sys/stat.h>

#include "hooks.h"

typedef int fstatat_fn(int, const char *, struct stat *, int);

static int real_fstatat(int dirfd, const char *path, struct stat *buf, int flags) {
  static fstatat_fn *f;
  if (!f && !(f = (fstatat_fn *)next("__fstatat64_time64"))) return -1;
  int r = f(dirfd, path, buf, flags);
  if (r == 0) PATCH(buf);
  return r;
}

int __fstatat64_time64(int dirfd, const char *path, struct stat *buf, int flags) {
  return real_fstatat(dirfd, path, buf, flags);
}
int __stat64_time64(const char *path, struct stat *buf) { return real_fstatat(AT_FDCWD, path, buf, 0); }
int __lstat64_time64(const char *path, struct stat *buf) {
  return real_fstatat(AT_FDCWD, path, buf, AT_SYMLINK_NOFOLLOW);
}
int __fstat64_time64(int fd, struct stat *buf) { return real_fstatat(fd, "", buf, AT_EMPTY_PATH); }

int __ioctl_time64(int fd, unsigned long request, ...) {
  static ioctl_fn *f;
  va_list args;
  va_start(args, request);
  void *arg = va_arg(args, void *);
  va_end(args);
  return answer_ioctl(&f, "__ioctl_time64", fd, request, arg);
}
