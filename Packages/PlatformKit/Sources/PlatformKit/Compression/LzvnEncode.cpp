// LZVN encoder for small inputs. Each position is looked up in a hash of its first
// three bytes (four most recent positions per bucket) and at the previous distance;
// a found match waits one step as pending so that an overlapping better one can take
// its place (better = more bytes saved after the cost of its op). The table is sized
// to the input, so a short input does not pay for clearing a large one.
#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#include "PlatformKit/Compression/LzfseFormat.h"

namespace pk::compression {

using namespace fmt;

namespace {

constexpr int64_t kMaxDistance = 0xFFFF;
constexpr int64_t kMaxLiteralBacklog = 400;  // literals waiting before some are written out
constexpr size_t kMaxTableBuckets = 2048;

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
inline size_t shortOpMaxMatch(size_t l) { return 10 - 2 * l; }

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
    } else if (d < 16384 && m > shortOpMaxMatch(l)) {  // medium: longer matches in one op
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

struct Match {
    int64_t begin = 0, end = 0;  // end: where the next literal starts
    int64_t distance = 0;
    int64_t gain = 0;            // bytes saved beyond the op's own distance bytes
    bool found() const { return end > begin; }
};

class LzvnMatcher {
public:
    LzvnMatcher(const uint8_t* src, int64_t n, size_t buckets)
        : src_(src), n_(n), table_(new HashBucket[buckets]), hashShift_(32 - std::countr_zero(buckets)) {
        // Every slot starts at position 0, a real candidate like any other.
        std::fill_n(table_.get(), buckets, HashBucket::filled(0, load32(src)));
    }

    size_t encode(uint8_t* dst, size_t cap) {
        Writer w(dst, cap);
        const int64_t searchEnd = n_ - 8;  // room for the word-wide compares
        for (int64_t i = 0; i < searchEnd; ++i) {
            const uint32_t v = load32(src_ + i);
            HashBucket& b = table_[hash(v)];
            const HashBucket old = b;
            b.push(static_cast<int32_t>(i), v);
            if (i < literal_) continue;  // inside a match already written

            Match in;
            // Entries with at least the first three bytes in common.
            for (unsigned same = old.sameMask(v, 0xFFFFFFu); same != 0; same &= same - 1) {
                const int k = std::countr_zero(same);
                if (k > 0 && old.pos[k] == old.pos[k - 1]) continue;  // still the initial fill
                consider(in, i, old.pos[k], old.value[k] == v ? 4 : 3, false);
            }
            if (prevD_ > 0 && i >= static_cast<int64_t>(prevD_)) {
                const uint32_t diff = load32(src_ + i - prevD_) ^ v;
                consider(in, i, i - static_cast<int64_t>(prevD_), diff == 0 ? 4 : std::countr_zero(diff) >> 3, true);
            }

            if (!in.found()) {
                if (i - literal_ >= kMaxLiteralBacklog) {
                    if (pending_.found()) {
                        if (!write(w, pending_)) return 0;
                        pending_ = Match{};
                    } else {
                        if (!literals(w, src_ + literal_, 271)) return 0;
                        literal_ += 271;
                    }
                }
                continue;
            }
            if (!pending_.found()) {
                pending_ = in;
            } else if (pending_.end <= in.begin) {
                if (!write(w, pending_)) return 0;
                pending_ = in;
            } else {
                if (!write(w, in.gain > pending_.gain ? in : pending_)) return 0;
                pending_ = Match{};
            }
        }
        if (pending_.found() && !write(w, pending_)) return 0;
        if (literal_ < n_ && !literals(w, src_ + literal_, static_cast<size_t>(n_ - literal_))) return 0;
        if (!w.room(8)) return 0;
        w.byte(0x06);
        for (int i = 0; i < 7; ++i) w.byte(0);
        return w.size();
    }

private:
    uint32_t hash(uint32_t v) const { return ((v & 0xFFFFFF) * 2654435761u) >> hashShift_; }

    // A candidate whose first `same` bytes match at `ref`; kept in `best` when it saves more.
    void consider(Match& best, int64_t at, int64_t ref, int same, bool previous) const {
        if (same < 3) return;
        const int64_t d = at - ref;
        if (d <= 0 || d > kMaxDistance) return;
        int64_t end = at + same;
        if (same == 4) {
            while (end + 8 <= n_) {
                const uint64_t diff = load64(src_ + end) ^ load64(src_ + end - d);
                if (diff != 0) {
                    end += std::countr_zero(diff) >> 3;
                    break;
                }
                end += 8;
            }
            while (end < n_ && src_[end] == src_[end - d]) ++end;
        }
        int64_t begin = at;
        while (begin > literal_ && begin - d > 0 && src_[begin - 1] == src_[begin - 1 - d]) --begin;
        const int64_t length = end - begin;
        const int64_t gain = length - (previous ? 1 : d < 1536 ? 2 : 3);
        if (gain > best.gain || (gain == best.gain && end > best.end + 1)) best = Match{begin, end, d, gain};
    }

    bool write(Writer& w, const Match& m) {
        if (!emit(w, src_ + literal_, static_cast<size_t>(m.begin - literal_), static_cast<size_t>(m.end - m.begin),
                  static_cast<size_t>(m.distance), prevD_))
            return false;
        literal_ = m.end;
        return true;
    }

    const uint8_t* src_;
    int64_t n_;
    std::unique_ptr<HashBucket[]> table_;
    int hashShift_;
    int64_t literal_ = 0;  // first byte not yet written
    size_t prevD_ = 0;
    Match pending_;
};

}  // namespace

// The LZVN payload of one block (ending with the end-of-stream op), or 0 when it does
// not fit in `cap` bytes.
size_t lzvnEncode(uint8_t* dst, size_t cap, const uint8_t* src, size_t n) {
    if (n < 8 || n > 0xFFFFFFFFu) return 0;
    // About one bucket per position, at most 64 KiB.
    const size_t buckets = std::clamp<size_t>(std::bit_ceil(n), 256, kMaxTableBuckets);
    LzvnMatcher m(src, static_cast<int64_t>(n), buckets);
    return m.encode(dst, cap);
}

}  // namespace pk::compression
