/* 32-bit programs built with a 64-bit time_t, as Debian's i386 Wine is, call
 * the stat family and ioctl under glibc's time64 names, with the time64
 * layout of struct stat. This unit is built for that layout (32-bit builds
 * only) and shows the same nodes and answers the same requests as hooks.c. */
#define _GNU_SOURCE
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64
#include <sys/stat.h>

#include "hooks.h"

STAT_HOOKS(struct stat, real_fstatat, __fstatat64_time64, __stat64_time64, __lstat64_time64,
           __fstat64_time64)

IOCTL_HOOK(__ioctl_time64)
