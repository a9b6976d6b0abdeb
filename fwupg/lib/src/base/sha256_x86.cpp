// The compression function on the x86 SHA extensions, chosen at run time when the processor has
// them (with SSSE3 and SSE4.1, which the shuffles and blends below need).
#include "fwupg/sha256.h"

#include "sha256_internal.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>

namespace fwupg::sha256_detail {

namespace {

__attribute__((target("sha,ssse3,sse4.1"))) void transform_sha_ni(uint32_t h[8], const uint8_t* data,
                                                                  size_t count)
{
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    const uint32_t* K = kRoundConstants;

    // The instructions keep the state as ABEF and CDGH.
    __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)), 0xB1);
    __m128i state1 = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + 4)), 0x1B);
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8);
    state1 = _mm_blend_epi16(state1, tmp, 0xF0);

#define FWUPG_SHA_ROUNDS(m, g)                                                                     \
    do {                                                                                           \
        __m128i k_ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(K + 4 * (g)));                \
        __m128i msg_ = _mm_add_epi32(m, k_);                                                       \
        state1 = _mm_sha256rnds2_epu32(state1, state0, msg_);                                      \
        state0 = _mm_sha256rnds2_epu32(state0, state1, _mm_shuffle_epi32(msg_, 0x0E));             \
    } while (0)
    // next += W[t-7] words and sigma1 of cur: completes the schedule words of `next`.
#define FWUPG_SHA_MSG2(next, cur, prev) \
    next = _mm_sha256msg2_epu32(_mm_add_epi32(next, _mm_alignr_epi8(cur, prev, 4)), cur)
#define FWUPG_SHA_MSG1(prev, cur) prev = _mm_sha256msg1_epu32(prev, cur)

    for (; count > 0; --count, data += 64) {
        const __m128i save0 = state0, save1 = state1;
        __m128i m0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data)), byte_swap);
        __m128i m1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16)), byte_swap);
        __m128i m2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 32)), byte_swap);
        __m128i m3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 48)), byte_swap);

        FWUPG_SHA_ROUNDS(m0, 0);
        FWUPG_SHA_ROUNDS(m1, 1);
        FWUPG_SHA_MSG1(m0, m1);
        FWUPG_SHA_ROUNDS(m2, 2);
        FWUPG_SHA_MSG1(m1, m2);
        // Groups 3-14, four per pass; the schedule is extended (msg1) only while later words need it.
#pragma GCC unroll 3
        for (int g = 3; g < 15; g += 4) {
            FWUPG_SHA_ROUNDS(m3, g);
            FWUPG_SHA_MSG2(m0, m3, m2);
            if (g <= 12) FWUPG_SHA_MSG1(m2, m3);
            FWUPG_SHA_ROUNDS(m0, g + 1);
            FWUPG_SHA_MSG2(m1, m0, m3);
            if (g + 1 <= 12) FWUPG_SHA_MSG1(m3, m0);
            FWUPG_SHA_ROUNDS(m1, g + 2);
            FWUPG_SHA_MSG2(m2, m1, m0);
            if (g + 2 <= 12) FWUPG_SHA_MSG1(m0, m1);
            FWUPG_SHA_ROUNDS(m2, g + 3);
            FWUPG_SHA_MSG2(m3, m2, m1);
            if (g + 3 <= 12) FWUPG_SHA_MSG1(m1, m2);
        }
        FWUPG_SHA_ROUNDS(m3, 15);

        state0 = _mm_add_epi32(state0, save0);
        state1 = _mm_add_epi32(state1, save1);
    }
#undef FWUPG_SHA_ROUNDS
#undef FWUPG_SHA_MSG2
#undef FWUPG_SHA_MSG1

    tmp = _mm_shuffle_epi32(state0, 0x1B);
    state1 = _mm_shuffle_epi32(state1, 0xB1);
    state0 = _mm_blend_epi16(tmp, state1, 0xF0);
    state1 = _mm_alignr_epi8(state1, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(h + 4), state1);
}

bool cpu_has_sha_ni()
{
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = c & (1u << 9), sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    const bool sha = b & (1u << 29);
    return ssse3 && sse41 && sha;
}

}  // namespace

TransformFn transform_accelerated()
{
    static const bool available = cpu_has_sha_ni();
    return available ? &transform_sha_ni : nullptr;
}

}  // namespace fwupg::sha256_detail

#else

namespace fwupg::sha256_detail {
TransformFn transform_accelerated() { return nullptr; }
}  // namespace fwupg::sha256_detail

#endif
