#include "core/crc.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define CARTSCOPE_CRC_CLMUL 1
// The C library has probed the processor before the program starts: its
// answer is read, not asked again (and the gcc runtime's own probe, which
// would run at every start, is not linked in).
#if defined(__GLIBC__) && __has_include(<sys/platform/x86.h>)
// The header is C: its _Bool is bool to a C++ compiler (clang has no _Bool
// in C++, gcc takes it as an extension).
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#define CARTSCOPE_CPU_FROM_LIBC 1
#endif
#endif

namespace cartscope {

namespace {

// Tables for slicing by sixteen: table[0] is the classic byte table, table[k][b]
// the CRC of byte b followed by k zero bytes. Every ROM load checks 2.4 KiB
// with it, so it is worth more than one table.
using Crc16Tables = std::array<std::array<std::uint16_t, 256>, 16>;

constexpr Crc16Tables makeCrc16Tables() {
    Crc16Tables t{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001 : c >> 1;
        t[0][i] = static_cast<std::uint16_t>(c);
    }
    for (unsigned i = 0; i < 256; ++i)
        for (std::size_t k = 1; k < t.size(); ++k)
            t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
    return t;
}

constexpr Crc16Tables kCrc16 = makeCrc16Tables();

// Sixteen tables for slicing by sixteen: table[0] is the classic byte table,
// table[k][b] is the CRC of byte b followed by k zero bytes.
using Crc32Tables = std::array<std::array<std::uint32_t, 256>, 16>;

constexpr Crc32Tables makeCrc32Tables() {
    Crc32Tables t{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (unsigned i = 0; i < 256; ++i)
        for (std::size_t k = 1; k < t.size(); ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}

constexpr Crc32Tables kCrc32 = makeCrc32Tables();

inline std::uint32_t load32le(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// `state` is the running register (already inverted).
std::uint32_t crc32Tables(std::uint32_t state, const unsigned char* p, std::size_t n) {
    while (n >= 16) {
        const std::uint32_t a = load32le(p) ^ state;
        const std::uint32_t b = load32le(p + 4);
        const std::uint32_t c = load32le(p + 8);
        const std::uint32_t d = load32le(p + 12);
        state = kCrc32[15][a & 0xFF] ^ kCrc32[14][(a >> 8) & 0xFF] ^ kCrc32[13][(a >> 16) & 0xFF] ^ kCrc32[12][a >> 24] ^
                kCrc32[11][b & 0xFF] ^ kCrc32[10][(b >> 8) & 0xFF] ^ kCrc32[9][(b >> 16) & 0xFF] ^ kCrc32[8][b >> 24] ^
                kCrc32[7][c & 0xFF] ^ kCrc32[6][(c >> 8) & 0xFF] ^ kCrc32[5][(c >> 16) & 0xFF] ^ kCrc32[4][c >> 24] ^
                kCrc32[3][d & 0xFF] ^ kCrc32[2][(d >> 8) & 0xFF] ^ kCrc32[1][(d >> 16) & 0xFF] ^ kCrc32[0][d >> 24];
        p += 16;
        n -= 16;
    }
    while (n--) state = (state >> 8) ^ kCrc32[0][(state ^ *p++) & 0xFF];
    return state;
}

#ifdef CARTSCOPE_CRC_CLMUL

// Folding with carry-less multiplication: four 128-bit lanes are folded
// forward 512 bits at a time, then into one lane, then reduced to 32 bits with
// a Barrett reduction. The constants are powers of x modulo the polynomial,
// bit-reflected: k1, k2 = x^(512+32), x^(512-32); k3, k4 = x^(128+32),
// x^(128-32); k5 = x^64, each (mod P) << 32, reflected over 64 bits, << 1;
// then P itself and floor(x^64 / P), reflected over 33 bits.
struct FoldConstants {
    long long k1, k2, k3, k4, k5, poly, mu;
};

// The CRC-32 polynomial.
constexpr FoldConstants kCrc32Fold = {0x154442bd4, 0x1c6e41596, 0x1751997d0, 0x0ccaa009e, 0x163cd6124, 0x1db710641, 0x1f7011641};
// The CRC-16 polynomial times x^16: a 32-bit CRC with it leaves the 16-bit
// CRC in the low half of the reflected register.
constexpr FoldConstants kCrc16Fold = {0x1b0c2, 0x0bffa, 0x1d0c2, 0x18cc2, 0x1bc02, 0x14003, 0x1cfffbfff};

#define CARTSCOPE_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

CARTSCOPE_CLMUL_TARGET inline __m128i load128(const unsigned char* q) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// x * k: each half of x times its constant, the two added.
CARTSCOPE_CLMUL_TARGET inline __m128i times(__m128i x, __m128i k) {
    return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// x * k folded forward and added to the data that follows.
CARTSCOPE_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i k, __m128i next) { return _mm_xor_si128(times(x, k), next); }

// Folds the last whole 16-byte blocks into `x1` and reduces it to the CRC.
CARTSCOPE_CLMUL_TARGET std::uint32_t finishClmul(const FoldConstants& c, __m128i x1, const unsigned char* p, std::size_t n) {
    const __m128i k3k4 = _mm_set_epi64x(c.k4, c.k3);
    const __m128i k5 = _mm_set_epi64x(0, c.k5);
    const __m128i polyMu = _mm_set_epi64x(c.mu, c.poly);
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    while (n >= 16) {
        x1 = fold(x1, k3k4, load128(p));
        p += 16;
        n -= 16;
    }

    // 128 bits to 64.
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
    // 64 bits to 32 (with 32 zero bits appended).
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k5, 0x00));
    // Barrett reduction.
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), polyMu, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), polyMu, 0x00);
    x1 = _mm_xor_si128(x1, t);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

// Needs n >= 64 and n a multiple of 16.
CARTSCOPE_CLMUL_TARGET std::uint32_t foldClmul(const FoldConstants& c, std::uint32_t state, const unsigned char* p,
                                               std::size_t n) {
    const __m128i k1k2 = _mm_set_epi64x(c.k2, c.k1);
    const __m128i k3k4 = _mm_set_epi64x(c.k4, c.k3);

    __m128i x1 = _mm_xor_si128(load128(p), _mm_cvtsi32_si128(static_cast<int>(state)));
    __m128i x2 = load128(p + 16);
    __m128i x3 = load128(p + 32);
    __m128i x4 = load128(p + 48);
    p += 64;
    n -= 64;
    while (n >= 64) {
        x1 = fold(x1, k1k2, load128(p));
        x2 = fold(x2, k1k2, load128(p + 16));
        x3 = fold(x3, k1k2, load128(p + 32));
        x4 = fold(x4, k1k2, load128(p + 48));
        p += 64;
        n -= 64;
    }
    x1 = fold(x1, k3k4, x2);
    x1 = fold(x1, k3k4, x3);
    x1 = fold(x1, k3k4, x4);
    return finishClmul(c, x1, p, n);
}

// The same folding on 512-bit registers (four 128-bit lanes each), for
// processors with VPCLMULQDQ: four registers fold 256 bytes at a time, four
// times what the 128-bit loop takes in one step. Distances in bits and their
// constants, (x^(D+32), x^(D-32)) mod P as above: 2048 between the four
// registers' turns, 512 to fold one register into the next (k1, k2), and 384,
// 256, 128 to fold a register's lanes into its last.
constexpr long long kFold2048[] = {0x11542778a, 0x1322d1430};
constexpr long long kFold384[] = {0x3db1ecdc, 0x174359406};
constexpr long long kFold256[] = {0xf1da05aa, 0x15a546366};

#define CARTSCOPE_WIDE_TARGET __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

CARTSCOPE_WIDE_TARGET inline __m512i load512(const unsigned char* q) { return _mm512_loadu_si512(q); }

CARTSCOPE_WIDE_TARGET inline __m512i constants512(long long near, long long far) {
    return _mm512_set_epi64(far, near, far, near, far, near, far, near);
}

// Each lane of x times its constants, folded forward and added to `next`.
CARTSCOPE_WIDE_TARGET inline __m512i fold512(__m512i x, __m512i k, __m512i next) {
    // 0x96: the exclusive or of all three.
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00), _mm512_clmulepi64_epi128(x, k, 0x11), next, 0x96);
}

// The CRC-32 of n bytes, n >= 256 and a multiple of 16.
CARTSCOPE_WIDE_TARGET std::uint32_t foldWide(std::uint32_t state, const unsigned char* p, std::size_t n) {
    const FoldConstants& c = kCrc32Fold;
    const __m512i far = constants512(kFold2048[0], kFold2048[1]);
    const __m512i near = constants512(c.k1, c.k2);
    __m512i x1 = _mm512_xor_si512(load512(p), _mm512_set_epi64(0, 0, 0, 0, 0, 0, 0, state));
    __m512i x2 = load512(p + 64);
    __m512i x3 = load512(p + 128);
    __m512i x4 = load512(p + 192);
    p += 256;
    n -= 256;
    while (n >= 256) {
        x1 = fold512(x1, far, load512(p));
        x2 = fold512(x2, far, load512(p + 64));
        x3 = fold512(x3, far, load512(p + 128));
        x4 = fold512(x4, far, load512(p + 192));
        p += 256;
        n -= 256;
    }
    x1 = fold512(x1, near, x2);
    x1 = fold512(x1, near, x3);
    x1 = fold512(x1, near, x4);
    while (n >= 64) {
        x1 = fold512(x1, near, load512(p));
        p += 64;
        n -= 64;
    }
    // The four lanes into the last.
    alignas(64) unsigned char lanes[64];
    _mm512_store_si512(lanes, x1);
    __m128i x = load128(lanes + 48);
    x = _mm_xor_si128(x, times(load128(lanes), _mm_set_epi64x(kFold384[1], kFold384[0])));
    x = _mm_xor_si128(x, times(load128(lanes + 16), _mm_set_epi64x(kFold256[1], kFold256[0])));
    x = _mm_xor_si128(x, times(load128(lanes + 32), _mm_set_epi64x(c.k4, c.k3)));
    return finishClmul(c, x, p, n);
}

bool haveWideClmul() {
#ifdef CARTSCOPE_CPU_FROM_LIBC
    return CPU_FEATURE_ACTIVE(VPCLMULQDQ) && CPU_FEATURE_ACTIVE(AVX512F) && CPU_FEATURE_ACTIVE(PCLMULQDQ) &&
           CPU_FEATURE_ACTIVE(SSE4_1);
#else
    static const bool have = __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512f") &&
                             __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
#endif
}

bool haveClmul() {
#ifdef CARTSCOPE_CPU_FROM_LIBC
    return CPU_FEATURE_ACTIVE(PCLMULQDQ) && CPU_FEATURE_ACTIVE(SSE4_1);
#else
    static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return have;
#endif
}

#endif

}  // namespace

std::uint16_t crc16(const void* data, std::size_t size, std::uint16_t crc) {
    auto p = static_cast<const unsigned char*>(data);
    unsigned state = crc;
#ifdef CARTSCOPE_CRC_CLMUL
    if (size >= 64 && haveClmul()) {
        const std::size_t bulk = size & ~std::size_t{15};
        state = foldClmul(kCrc16Fold, state, p, bulk) & 0xFFFF;
        p += bulk;
        size -= bulk;
    }
#endif
    while (size >= 16) {
        const unsigned b0 = p[0] ^ (state & 0xFF), b1 = p[1] ^ (state >> 8);
        state = kCrc16[15][b0] ^ kCrc16[14][b1] ^ kCrc16[13][p[2]] ^ kCrc16[12][p[3]] ^ kCrc16[11][p[4]] ^ kCrc16[10][p[5]] ^
                kCrc16[9][p[6]] ^ kCrc16[8][p[7]] ^ kCrc16[7][p[8]] ^ kCrc16[6][p[9]] ^ kCrc16[5][p[10]] ^ kCrc16[4][p[11]] ^
                kCrc16[3][p[12]] ^ kCrc16[2][p[13]] ^ kCrc16[1][p[14]] ^ kCrc16[0][p[15]];
        p += 16;
        size -= 16;
    }
    while (size--) state = (state >> 8) ^ kCrc16[0][(state ^ *p++) & 0xFF];
    return static_cast<std::uint16_t>(state);
}

std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc) {
    auto p = static_cast<const unsigned char*>(data);
    std::uint32_t state = ~crc;
#ifdef CARTSCOPE_CRC_CLMUL
    // The wide loop pays off from a few kilobytes (and keeps the processor's
    // 512-bit units idle for the header-sized pieces). It starts on a cache
    // line: a 64-byte load across two lines costs nearly as much as two (the
    // heap's blocks start 16 bytes into a line).
    if (size >= 4096 && haveWideClmul()) {
        const std::size_t head = (64 - reinterpret_cast<std::uintptr_t>(p) % 64) % 64;
        state = crc32Tables(state, p, head);
        p += head;
        size -= head;
        const std::size_t bulk = size & ~std::size_t{15};
        state = foldWide(state, p, bulk);
        p += bulk;
        size -= bulk;
    } else if (size >= 64 && haveClmul()) {
        const std::size_t bulk = size & ~std::size_t{15};
        state = foldClmul(kCrc32Fold, state, p, bulk);
        p += bulk;
        size -= bulk;
    }
#endif
    return ~crc32Tables(state, p, size);
}

}  // namespace cartscope
