/* What every ROM floor does first: the header, then the banner it points at. */
#pragma once

#include <fcntl.h>
#include <stdint.h>
#include <unistd.h>

/* Reads the 512-byte header and the 0x840-byte banner of the open ROM `fd`;
 * 0, or 1 when either is short. */
static inline int readHeaderAndBanner(int fd, unsigned char header[512], unsigned char banner[0x840]) {
    if (read(fd, header, 512) != 512) return 1;
    uint32_t offset = header[0x68] | header[0x69] << 8 | header[0x6A] << 16 | (uint32_t)header[0x6B] << 24;
    return pread(fd, banner, 0x840, offset) != 0x840;
}

/* The same from the ROM at `path`, opened and closed again; 0, or 1 when it
 * does not open or either part is short. */
static inline int readRom(const char* path, unsigned char header[512], unsigned char banner[0x840]) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    const int failed = readHeaderAndBanner(fd, header, banner);
    close(fd);
    return failed;
}
