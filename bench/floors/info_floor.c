/* The least a per-file info can cost: the header, the banner, and the
 * CRC-32 of the whole file (zlib's), read in 128 KiB pieces. */
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>
#include <zlib.h>

#include "rom_floor.h"

int main(int argc, char** argv) {
    static unsigned char piece[128 * 1024];
    unsigned char header[512];
    unsigned char banner[0x840];
    if (argc != 2) return 2;
    int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    if (readHeaderAndBanner(fd, header, banner)) return 1;
    uLong crc = crc32(0L, Z_NULL, 0);
    off_t at = 0;
    ssize_t got;
    while ((got = pread(fd, piece, sizeof piece, at)) > 0) {
        crc = crc32(crc, piece, (uInt)got);
        at += got;
    }
    close(fd);
    printf("%.12s %08lX\n", (const char*)header, crc);
    return got < 0;
}
