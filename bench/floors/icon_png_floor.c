/* The least a per-file icon can cost when it is written as cartscope writes
 * it: the header and banner read, the 32x32 icon turned into a 4-bit palette
 * PNG by libpng (colour 0 transparent), written under a temporary name beside
 * the target, synced, and renamed over it. No checks of any kind.
 *   icon_png_floor ROM OUTPUT.png */
#define _GNU_SOURCE
#include <fcntl.h>
#include <png.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include "rom_floor.h"

int main(int argc, char** argv) {
    unsigned char header[512];
    unsigned char banner[0x840];
    if (argc != 3) return 2;
    if (readRom(argv[1], header, banner)) return 1;

    /* 4x4 tiles of 8x8 pixels, two pixels a byte (the low nibble first),
     * into rows of two pixels a byte (the high nibble first, as PNG has it). */
    png_byte rows[32][16];
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; x += 2) {
            const unsigned char pair = banner[0x20 + ((y / 8) * 4 + x / 8) * 32 + (y % 8) * 4 + (x % 8) / 2];
            rows[y][x / 2] = (png_byte)((pair & 0x0F) << 4 | pair >> 4);
        }
    png_color palette[16];
    for (int i = 0; i < 16; ++i) {
        const unsigned colour = banner[0x220 + 2 * i] | banner[0x221 + 2 * i] << 8;
        palette[i].red = (png_byte)((colour & 31) * 255 / 31);
        palette[i].green = (png_byte)((colour >> 5 & 31) * 255 / 31);
        palette[i].blue = (png_byte)((colour >> 10 & 31) * 255 / 31);
    }
    png_byte transparent = 0;
    png_bytep pointers[32];
    for (int y = 0; y < 32; ++y) pointers[y] = rows[y];

    char name[4096];
    snprintf(name, sizeof name, "%s.XXXXXX", argv[2]);
    const int out = mkostemp(name, O_CLOEXEC);
    if (out < 0) return 1;
    FILE* file = fdopen(out, "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) return 1;
    png_init_io(png, file);
    png_set_IHDR(png, info, 32, 32, 4, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette, 16);
    png_set_tRNS(png, info, &transparent, 1, NULL);
    png_set_rows(png, info, pointers);
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, NULL);
    png_destroy_write_struct(&png, &info);
    fflush(file);
    fsync(out);
    fclose(file);
    return rename(name, argv[2]) != 0;
}
