// LZVN encoder for small inputs: greedy matches from a one-entry hash table, with a check
// of the previous distance first, coded with the shortest op that carries them.
#include <algorithm>
#include <bit>
#include <cstring>

#include "PlatformKit/Compression/LzfseFormat.h"

namespace pk::compression {

using namespace fmt;

namespace {

constexpr int kHashBits = 12;
constexpr uint64_t kMaxDistance = 0xFFFF;

class Writer {
public:
    Writer(uint8_t* p, size_t cap) : p_(p), cap_(cap) {}
    bool room(size_t n) const { return cap_ - at_ >= n; }
    void byte(uint8_t b) { p_[at_++] = b; }
    void bytes(const uint8_t* s, size_t n) {
        std::memcpy(p_ + at_, s, n);
        at_ += n;
    }
    size_t size() const { return at_; }

private:
    uint8_t* p_;
    size_t cap_;
    size_t at_ = 0;
};

// Literal-only ops for all of `n` bytes.
bool literals(Writer& w, const uint8_t* s, size_t n) {
    while (n > 0) {
        const size_t k = std::min<size_t>(n, 271);
        if (!w.room(k + 2)) return false;
        if (k < 16) {
            w.byte(static_cast<uint8_t>(0xE0 | k));
        } else {
            w.byte(0xE0);
            w.byte(static_cast<uint8_t>(k - 16));
        }
        w.bytes(s, k);
        s += k;
        n -= k;
    }
    return true;
}

// Match ops with the previous distance.
bool repeatMatch(Writer& w, size_t m) {
    while (m > 0) {
        const size_t k = std::min<size_t>(m, 271);
        if (!w.room(2)) return false;
        if (k < 16) {
            w.byte(static_cast<uint8_t>(0xF0 | k));
        } else {
            w.byte(0xF0);
            w.byte(static_cast<uint8_t>(k - 16));
        }
        m -= k;
    }
    return true;
}

// The longest match an op with `l` leading literals can carry in its 3-bit length field.
inline size_t shortOpMaxMatch(size_t l) { return l == 0 ? 10 : l == 1 ? 8 : l == 2 ? 6 : 4; }

bool emit(Writer& w, const uint8_t* lit, size_t l, size_t m, size_t d, size_t& prevD) {
    if (l > 3) {
        if (!literals(w, lit, l)) return false;
        lit += l;
        l = 0;
    }
    if (d == prevD && l == 0) return repeatMatch(w, m);
    if (!w.room(3 + l)) return false;
    size_t first;
    if (d == prevD) {  // previous distance, with literals
        first = std::min(m, shortOpMaxMatch(l));
        w.byte(static_cast<uint8_t>(l << 6 | (first - 3) << 3 | 6));
    } else if (d < 1536) {
        first = std::min(m, shortOpMaxMatch(l));
        w.byte(static_cast<uint8_t>(l << 6 | (first - 3) << 3 | (d >> 8)));
        w.byte(static_cast<uint8_t>(d & 0xFF));
    } else if (d < 16384) {
        first = std::min<size_t>(m, 34);
        const size_t mm = first - 3;
        w.byte(static_cast<uint8_t>(0xA0 | l << 3 | (mm >> 2)));
        const uint16_t v = static_cast<uint16_t>((d << 2) | (mm & 3));
        w.byte(static_cast<uint8_t>(v & 0xFF));
        w.byte(static_cast<uint8_t>(v >> 8));
    } else {
        first = std::min(m, shortOpMaxMatch(l));
        w.byte(static_cast<uint8_t>(l << 6 | (first - 3) << 3 | 7));
        w.byte(static_cast<uint8_t>(d & 0xFF));
        w.byte(static_cast<uint8_t>(d >> 8));
    }
    w.bytes(lit, l);
    prevD = d;
    return repeatMatch(w, m - first);
}

}  // namespace

// The LZVN payload of one block (ending with the end-of-stream op), or 0 when it does
// not fit in `cap` bytes.
size_t lzvnEncode(uint8_t* dst, size_t cap, const uint8_t* src, size_t n) {
    if (n < 8 || n > 0xFFFFFFFFu) return 0;
    Writer w(dst, cap);
    int32_t table[1 << kHashBits];
    std::fill(std::begin(table), std::end(table), -1);
    size_t anchor = 0, pos = 0, prevD = 0;
    auto hash = [](uint32_t x) { return (x * 2654435761u) >> (32 - kHashBits); };
    auto extend = [&](size_t a, size_t b) {
        size_t len = 0;
        while (b + len < n && src[a + len] == src[b + len]) ++len;
        return len;
    };
    while (pos + 4 <= n) {
        const uint32_t x = load32(src + pos);
        const uint32_t h = hash(x);
        const int32_t cand = table[h];
        table[h] = static_cast<int32_t>(pos);
        size_t len = 0, d = 0;
        if (prevD > 0 && pos >= prevD && load32(src + pos - prevD) == x) {
            len = extend(pos - prevD, pos);
            d = prevD;
        }
        if (cand >= 0 && pos - static_cast<size_t>(cand) <= kMaxDistance && load32(src + cand) == x) {
            const size_t l2 = extend(static_cast<size_t>(cand), pos);
            if (l2 > len + 1) len = l2, d = pos - static_cast<size_t>(cand);
        }
        if (len < 4) {
            ++pos;
            continue;
        }
        size_t start = pos;
        while (start > anchor && start - d > 0 && src[start - 1] == src[start - 1 - d]) --start;
        len += pos - start;
        if (!emit(w, src + anchor, start - anchor, len, d, prevD)) return 0;
        const size_t end = start + len;
        for (size_t p = pos + 1; p + 4 <= n && p < end; ++p) table[hash(load32(src + p))] = static_cast<int32_t>(p);
        pos = anchor = end;
    }
    if (anchor < n && !literals(w, src + anchor, n - anchor)) return 0;
    if (!w.room(8)) return 0;
    w.byte(0x06);
    for (int i = 0; i < 7; ++i) w.byte(0);
    return w.size();
}

}  // namespace pk::compression
