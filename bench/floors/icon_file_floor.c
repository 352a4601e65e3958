/* The least a per-file icon can cost with what every icon command must do:
 * the header and banner read, the 32x32 icon made a 4-bit palette PNG
 * (colour 0 transparent) with no library at all (its rows stored, not
 * compressed), written under a temporary name beside the target, synced,
 * renamed over it, and the folder synced, so that the new name is on the disk
 * too. No checks of any kind.
 *   icon_file_floor ROM OUTPUT.png */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/random.h>
#include <unistd.h>

#include "rom_floor.h"

static uint32_t crc32Of(const unsigned char* p, size_t n) {
    uint32_t crc = 0xFFFFFFFFu;
    while (n--) {
        crc ^= *p++;
        for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

static unsigned char* put32(unsigned char* p, uint32_t v) {
    p[0] = (unsigned char)(v >> 24);
    p[1] = (unsigned char)(v >> 16);
    p[2] = (unsigned char)(v >> 8);
    p[3] = (unsigned char)v;
    return p + 4;
}

/* A chunk of `length` data bytes already at p + 8; gives the end of it. */
static unsigned char* chunk(unsigned char* p, const char* type, uint32_t length) {
    put32(p, length);
    memcpy(p + 4, type, 4);
    return put32(p + 8 + length, crc32Of(p + 4, length + 4));
}

int main(int argc, char** argv) {
    unsigned char header[512];
    unsigned char banner[0x840];
    if (argc != 3) return 2;
    if (readRom(argv[1], header, banner)) return 1;

    /* 4x4 tiles of 8x8 pixels, two pixels a byte (the low nibble first),
     * into rows of a filter byte and two pixels a byte (the high nibble first). */
    unsigned char rows[32 * 17];
    for (int y = 0; y < 32; ++y) {
        rows[y * 17] = 0;
        for (int x = 0; x < 32; x += 2) {
            const unsigned char pair = banner[0x20 + ((y / 8) * 4 + x / 8) * 32 + (y % 8) * 4 + (x % 8) / 2];
            rows[y * 17 + 1 + x / 2] = (unsigned char)((pair & 0x0F) << 4 | pair >> 4);
        }
    }

    unsigned char png[1024];
    unsigned char* p = png;
    memcpy(p, "\x89PNG\r\n\x1a\n", 8);
    p += 8;
    unsigned char* data = p + 8;
    data = put32(data, 32);
    data = put32(data, 32);
    memcpy(data, "\x04\x03\x00\x00\x00", 5);
    p = chunk(p, "IHDR", 13);
    data = p + 8;
    for (int i = 0; i < 16; ++i) {
        const unsigned colour = banner[0x220 + 2 * i] | banner[0x221 + 2 * i] << 8;
        for (int c = 0; c < 3; ++c) {
            const unsigned five = colour >> (5 * c) & 31;
            data[3 * i + c] = (unsigned char)(five << 3 | five >> 2);
        }
    }
    p = chunk(p, "PLTE", 48);
    p[8] = 0;
    p = chunk(p, "tRNS", 1);
    /* zlib: its header, one stored block, the Adler-32. */
    data = p + 8;
    const uint16_t length = sizeof rows;
    memcpy(data, "\x78\x01\x01", 3);
    data[3] = (unsigned char)length;
    data[4] = (unsigned char)(length >> 8);
    data[5] = (unsigned char)~length;
    data[6] = (unsigned char)(~length >> 8);
    memcpy(data + 7, rows, sizeof rows);
    uint32_t a = 1, b = 0;
    for (size_t i = 0; i < sizeof rows; ++i) {
        a = (a + rows[i]) % 65521;
        b = (b + a) % 65521;
    }
    put32(data + 7 + sizeof rows, b << 16 | a);
    p = chunk(p, "IDAT", 7 + sizeof rows + 4);
    p = chunk(p, "IEND", 0);

    uint32_t random;
    if (getrandom(&random, sizeof random, 0) != sizeof random) return 1;
    char name[4096];
    snprintf(name, sizeof name, "%s.%08x", argv[2], random);
    const int out = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) return 1;
    if (write(out, png, (size_t)(p - png)) != p - png) return 1;
    fsync(out);
    close(out);
    if (rename(name, argv[2]) != 0) return 1;
    char* slash = strrchr(argv[2], '/');
    if (slash) *slash = '\0';
    const int folder = open(slash ? argv[2] : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return 0;
}
