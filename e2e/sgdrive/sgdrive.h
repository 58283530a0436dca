// Between the C library hooks (hooks.c) and the simulated drives.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// 1 and the block device's numbers when the file (device, inode) stands for
// a device node; 0 otherwise.
int sgdrive_node(unsigned dev_major, unsigned dev_minor, unsigned long long ino, unsigned* major,
                 unsigned* minor);

// 1 when the request on fd was answered here: *result is what ioctl returns
// (errno set when it is -1). 0: the request goes to the kernel.
int sgdrive_ioctl(int fd, unsigned long request, void* arg, int* result);

#ifdef __cplusplus
}
#endif
