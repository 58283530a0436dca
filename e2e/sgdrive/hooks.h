/* What both units of C library hooks share: finding the real call, showing a
 * marker file as its block device, and answering or passing on an ioctl.
 * Each unit includes this under its own struct stat layout. */
#pragma once

#include <dlfcn.h>
#include <errno.h>
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
