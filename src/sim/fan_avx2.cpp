#include "sim/fan_avx2.h"

#include "common/vector_units.h"
#include "sim/range_sensor.h"

#include <immintrin.h>

namespace quorvel::avx2 {

namespace {

constexpr int maxRays = 32;
constexpr double skipMargin = 1e-6; // as castWithin's

// Four rays' origins, directions and readings.
struct Rays {
    __m256d ox, oy, dx, dy, range;
};

QUORVEL_AVX2 inline __m256d blend(__m256d ifFalse, __m256d ifTrue, __m256d mask) {
    return _mm256_blendv_pd(ifFalse, ifTrue, mask);
}

// True when the box lies wholly to one side of every ray's line, behind its origin or beyond
// its reading, in all four lanes: castWithin's test, lane by lane.
QUORVEL_AVX2 inline bool allSkip(const Rays& r, const BoundingBox& box) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d margin = _mm256_set1_pd(skipMargin);
    const __m256d loX = _mm256_sub_pd(_mm256_set1_pd(box.minX), r.ox);
    const __m256d hiX = _mm256_sub_pd(_mm256_set1_pd(box.maxX), r.ox);
    const __m256d loY = _mm256_sub_pd(_mm256_set1_pd(box.minY), r.oy);
    const __m256d hiY = _mm256_sub_pd(_mm256_set1_pd(box.maxY), r.oy);
    const __m256d dxPositive = _mm256_cmp_pd(r.dx, zero, _CMP_GT_OQ);
    const __m256d dyPositive = _mm256_cmp_pd(r.dy, zero, _CMP_GT_OQ);
    const __m256d sMax = _mm256_sub_pd(_mm256_mul_pd(blend(loX, hiX, dyPositive), r.dy),
                                       _mm256_mul_pd(blend(hiY, loY, dxPositive), r.dx));
    const __m256d sMin = _mm256_sub_pd(_mm256_mul_pd(blend(hiX, loX, dyPositive), r.dy),
                                       _mm256_mul_pd(blend(loY, hiY, dxPositive), r.dx));
    const __m256d tMax = _mm256_add_pd(_mm256_mul_pd(blend(loX, hiX, dxPositive), r.dx),
                                       _mm256_mul_pd(blend(loY, hiY, dyPositive), r.dy));
    const __m256d tMin = _mm256_add_pd(_mm256_mul_pd(blend(hiX, loX, dxPositive), r.dx),
                                       _mm256_mul_pd(blend(hiY, loY, dyPositive), r.dy));
    const __m256d negativeMargin = _mm256_sub_pd(zero, margin);
    const __m256d skip =
        _mm256_or_pd(_mm256_or_pd(_mm256_cmp_pd(sMin, margin, _CMP_GT_OQ),
                                  _mm256_cmp_pd(sMax, negativeMargin, _CMP_LT_OQ)),
                     _mm256_or_pd(_mm256_cmp_pd(tMax, negativeMargin, _CMP_LT_OQ),
                                  _mm256_cmp_pd(tMin, _mm256_add_pd(r.range, margin), _CMP_GT_OQ)));
    return _mm256_movemask_pd(skip) == 0xf;
}

// A vertex's distance along each ray and offset across it.
QUORVEL_AVX2 inline void project(const Rays& r, Vec2 v, __m256d& t, __m256d& s) {
    const __m256d px = _mm256_sub_pd(_mm256_set1_pd(v.x), r.ox);
    const __m256d py = _mm256_sub_pd(_mm256_set1_pd(v.y), r.oy);
    t = _mm256_add_pd(_mm256_mul_pd(px, r.dx), _mm256_mul_pd(py, r.dy));
    s = _mm256_sub_pd(_mm256_mul_pd(px, r.dy), _mm256_mul_pd(py, r.dx));
}

// An edge's crossing of the four rays' lines, shortening each reading it crosses strictly
// between the edge's ends at or ahead of its origin and nearer: the edge from a to b, with
// their distances along the rays ta, tb and offsets across them sa, sb.
QUORVEL_AVX2 inline void shortenAtCrossing(Rays& r, __m256d ta, __m256d sa, __m256d tb,
                                           __m256d sb) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d signBit = _mm256_set1_pd(-0.0);
    const __m256d crossing = _mm256_cmp_pd(_mm256_mul_pd(sa, sb), zero, _CMP_LT_OQ);
    const __m256d absA = _mm256_andnot_pd(signBit, sa);
    const __m256d absB = _mm256_andnot_pd(signBit, sb);
    const __m256d hit = _mm256_add_pd(
        ta, _mm256_mul_pd(_mm256_div_pd(absA, _mm256_add_pd(absA, absB)), _mm256_sub_pd(tb, ta)));
    const __m256d shorter =
        _mm256_and_pd(_mm256_and_pd(crossing, _mm256_cmp_pd(hit, zero, _CMP_GE_OQ)),
                      _mm256_cmp_pd(hit, r.range, _CMP_LT_OQ));
    r.range = blend(r.range, hit, shorter);
}

// RangeSensor's walk of the closed outline for four rays: the closing edge first, then the
// others in order; a crossing strictly between an edge's ends, or a first vertex on the
// line, shortens the reading when it lies at or ahead of the origin and nearer.
QUORVEL_AVX2 inline void walkInFull(Rays& r, const Vec2* vertices, int count) {
    const __m256d zero = _mm256_setzero_pd();
    __m256d ta, sa;
    project(r, vertices[count - 1], ta, sa);
    for (int k = 0; k < count; ++k) {
        __m256d tb, sb;
        project(r, vertices[k], tb, sb);
        const __m256d crossing = _mm256_cmp_pd(_mm256_mul_pd(sa, sb), zero, _CMP_LT_OQ);
        if (_mm256_movemask_pd(crossing) != 0) {
            shortenAtCrossing(r, ta, sa, tb, sb);
        }
        const __m256d onLine = _mm256_andnot_pd(
            crossing, _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(sa, zero, _CMP_EQ_OQ),
                                                  _mm256_cmp_pd(ta, zero, _CMP_GE_OQ)),
                                    _mm256_cmp_pd(ta, r.range, _CMP_LT_OQ)));
        r.range = blend(r.range, ta, onLine);
        ta = tb;
        sa = sb;
    }
}

constexpr int walkCapacity = 64;

// The same walk without the test for a vertex on a ray's line, which needs a vertex exactly
// on it: when some vertex is, the walk is taken again in full from the reading it started
// with, so every reading still comes from the same operations in the same order. The edges
// that cross a ray's line are noted first, without a branch, with every vertex's projection,
// then taken in order.
QUORVEL_AVX2 inline void walk(Rays& r, const Vec2* vertices, int count) {
    if (count > walkCapacity) {
        walkInFull(r, vertices, count);
        return;
    }
    const __m256d zero = _mm256_setzero_pd();
    int crossed[walkCapacity];
    __m256d along[walkCapacity];  // each vertex's t
    __m256d across[walkCapacity]; // and s
    int crossings = 0;
    __m256d ta, sa;
    project(r, vertices[count - 1], ta, sa);
    __m256d onLine = _mm256_setzero_pd();
    for (int k = 0; k < count; ++k) {
        __m256d tb, sb;
        project(r, vertices[k], tb, sb);
        along[k] = tb;
        across[k] = sb;
        onLine = _mm256_or_pd(onLine, _mm256_cmp_pd(sb, zero, _CMP_EQ_OQ));
        const __m256d crossing = _mm256_cmp_pd(_mm256_mul_pd(sa, sb), zero, _CMP_LT_OQ);
        crossed[crossings] = k;
        crossings += _mm256_movemask_pd(crossing) != 0;
        ta = tb;
        sa = sb;
    }
    if (_mm256_movemask_pd(onLine) != 0) {
        walkInFull(r, vertices, count);
        return;
    }
    for (int e = 0; e < crossings; ++e) {
        const int k = crossed[e];
        const int a = k == 0 ? count - 1 : k - 1;
        shortenAtCrossing(r, along[a], across[a], along[k], across[k]);
    }
}

QUORVEL_AVX2 void castFanAvx2(RangeSensor& fan, const Outline* outlines, int outlineCount) {
    // The rays with x and y apart, padded to whole groups by repeating the last ray.
    const int rays = fan.rayCount;
    const int groups = (rays + 3) / 4;
    alignas(32) double ox[maxRays], oy[maxRays], dx[maxRays], dy[maxRays], range[maxRays];
    for (int i = 0; i < 4 * groups; ++i) {
        const int ray = i < rays ? i : rays - 1;
        ox[i] = fan.worldOrigins[ray].x;
        oy[i] = fan.worldOrigins[ray].y;
        dx[i] = fan.worldDirections[ray].x;
        dy[i] = fan.worldDirections[ray].y;
        range[i] = fan.ranges[ray];
    }
    for (int g = 0; g < groups; ++g) {
        Rays r{_mm256_load_pd(ox + 4 * g), _mm256_load_pd(oy + 4 * g), _mm256_load_pd(dx + 4 * g),
               _mm256_load_pd(dy + 4 * g), _mm256_load_pd(range + 4 * g)};
        for (int k = 0; k < outlineCount; ++k) {
            const Outline& o = outlines[k];
            if (o.vertexCount < 2 || allSkip(r, o.box)) {
                continue;
            }
            walk(r, o.vertices, o.vertexCount);
        }
        _mm256_store_pd(range + 4 * g, r.range);
    }
    for (int i = 0; i < rays; ++i) {
        fan.ranges[i] = range[i];
    }
}

QUORVEL_AVX2 void placeFanAvx2(RangeSensor& fan, Vec2 o, Vec2 h, Vec2 n) {
    const __m256d originX = _mm256_set1_pd(o.x), originY = _mm256_set1_pd(o.y);
    const __m256d headingX = _mm256_set1_pd(h.x), headingY = _mm256_set1_pd(h.y);
    const __m256d normalX = _mm256_set1_pd(n.x), normalY = _mm256_set1_pd(n.y);
    const double* local = &fan.localOrigins[0].x;
    const double* direction = &fan.localDirections[0].x;
    double* worldOrigin = &fan.worldOrigins[0].x;
    double* worldDirection = &fan.worldDirections[0].x;
    int i = 0;
    for (; i + 4 <= fan.rayCount; i += 4) {
        // Rays i..i+3 with x and y apart, in the lane order i, i + 2, i + 1, i + 3 that
        // unpacking two pairs of points gives, and unpacking again puts back.
        const __m256d p01 = _mm256_loadu_pd(local + 2 * i);
        const __m256d p23 = _mm256_loadu_pd(local + 2 * i + 4);
        const __m256d d01 = _mm256_loadu_pd(direction + 2 * i);
        const __m256d d23 = _mm256_loadu_pd(direction + 2 * i + 4);
        const __m256d px = _mm256_unpacklo_pd(p01, p23), py = _mm256_unpackhi_pd(p01, p23);
        const __m256d dx = _mm256_unpacklo_pd(d01, d23), dy = _mm256_unpackhi_pd(d01, d23);
        // o + p.x h + p.y n and d.x h + d.y n, each component in its written order.
        const __m256d ox = _mm256_add_pd(_mm256_add_pd(originX, _mm256_mul_pd(px, headingX)),
                                         _mm256_mul_pd(py, normalX));
        const __m256d oy = _mm256_add_pd(_mm256_add_pd(originY, _mm256_mul_pd(px, headingY)),
                                         _mm256_mul_pd(py, normalY));
        const __m256d wx = _mm256_add_pd(_mm256_mul_pd(dx, headingX), _mm256_mul_pd(dy, normalX));
        const __m256d wy = _mm256_add_pd(_mm256_mul_pd(dx, headingY), _mm256_mul_pd(dy, normalY));
        _mm256_storeu_pd(worldOrigin + 2 * i, _mm256_unpacklo_pd(ox, oy));
        _mm256_storeu_pd(worldOrigin + 2 * i + 4, _mm256_unpackhi_pd(ox, oy));
        _mm256_storeu_pd(worldDirection + 2 * i, _mm256_unpacklo_pd(wx, wy));
        _mm256_storeu_pd(worldDirection + 2 * i + 4, _mm256_unpackhi_pd(wx, wy));
    }
    fan.placeInOrder(o, h, n, i);
}

} // namespace

void placeFan(RangeSensor& fan, Vec2 origin, Vec2 heading, Vec2 normal) {
    placeFanAvx2(fan, origin, heading, normal);
}

void castFan(RangeSensor& fan, const Outline* outlines, int outlineCount) {
    if (fan.rayCount <= 0 || fan.rayCount > maxRays) {
        for (int k = 0; k < outlineCount; ++k) {
            fan.cast(outlines[k].vertices, outlines[k].vertexCount);
        }
        return;
    }
    if (outlineCount > 0) {
        castFanAvx2(fan, outlines, outlineCount);
    }
}

} // namespace quorvel::avx2
