// Four floats at a time for the per-block loops (gain stages, meters, the recorder): the
// compilers' vector extension, which becomes SSE on x86-64 and plain code elsewhere. Each lane
// does exactly the operation the sample-by-sample loop would, so results are bit for bit the same.
#pragma once

#include <cstdint>
#include <cstring>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace vantor::fvec {

typedef float Float4 __attribute__((vector_size(16)));
typedef int32_t Mask4 __attribute__((vector_size(16))); // all bits set where a comparison holds

inline Float4 load(const float* p) {
    Float4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void store(float* p, Float4 v) {
    std::memcpy(p, &v, sizeof v);
}
inline Float4 splat(float x) {
    return Float4{x, x, x, x};
}
// a where the mask is set, else b.
inline Float4 select(Mask4 mask, Float4 a, Float4 b) {
    return (Float4)((mask & (Mask4)a) | (~mask & (Mask4)b));
}
// a > b ? a : b and a < b ? a : b lane by lane (so a NaN in a gives b), in one instruction
// where the processor has it.
#if defined(__SSE__)
inline Float4 max(Float4 a, Float4 b) {
    return (Float4)_mm_max_ps((__m128)a, (__m128)b);
}
inline Float4 min(Float4 a, Float4 b) {
    return (Float4)_mm_min_ps((__m128)a, (__m128)b);
}
#else
inline Float4 max(Float4 a, Float4 b) {
    return select(a > b, a, b);
}
inline Float4 min(Float4 a, Float4 b) {
    return select(a < b, a, b);
}
#endif
inline Float4 abs(Float4 v) {
    const Mask4 noSign = {0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF};
    return (Float4)((Mask4)v & noSign);
}

} // namespace vantor::fvec
