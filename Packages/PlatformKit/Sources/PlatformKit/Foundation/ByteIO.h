#pragma once
// Bounds-checked little-endian reading and writing of binary formats.
// Every read checks the remaining length first (64-bit arithmetic); a failed read
// returns false / an empty optional and leaves the position unchanged.
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pk {

class ByteReader {
public:
    explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}
    ByteReader(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data), size) {}

    uint64_t size() const { return data_.size(); }
    uint64_t position() const { return pos_; }
    uint64_t remaining() const { return data_.size() - pos_; }
    bool atEnd() const { return pos_ == data_.size(); }
    // Moves to an absolute offset; false when it lies beyond the end.
    bool seek(uint64_t offset) {
        if (offset > data_.size()) return false;
        pos_ = offset;
        return true;
    }
    bool skip(uint64_t count) {
        if (count > remaining()) return false;
        pos_ += count;
        return true;
    }
    bool has(uint64_t count) const { return count <= remaining(); }

    template <class T>
    std::optional<T> read() {
        static_assert(std::is_trivially_copyable_v<T>);
        if (!has(sizeof(T))) return std::nullopt;
        T v;
        std::memcpy(&v, data_.data() + pos_, sizeof(T));
        if constexpr (std::endian::native == std::endian::big && sizeof(T) > 1 && std::is_integral_v<T>) v = byteswap(v);
        pos_ += sizeof(T);
        return v;
    }
    std::optional<uint8_t> u8() { return read<uint8_t>(); }
    std::optional<uint16_t> u16() { return read<uint16_t>(); }
    std::optional<uint32_t> u32() { return read<uint32_t>(); }
    std::optional<uint64_t> u64() { return read<uint64_t>(); }
    std::optional<int16_t> i16() { return read<int16_t>(); }
    std::optional<int32_t> i32() { return read<int32_t>(); }
    std::optional<int64_t> i64() { return read<int64_t>(); }
    std::optional<float> f32() { return read<float>(); }
    std::optional<double> f64() { return read<double>(); }

    // A view of the next `count` bytes, consumed.
    std::optional<std::span<const uint8_t>> bytes(uint64_t count) {
        if (!has(count)) return std::nullopt;
        auto s = data_.subspan(static_cast<size_t>(pos_), static_cast<size_t>(count));
        pos_ += count;
        return s;
    }
    std::optional<std::string> string(uint64_t count) {
        auto b = bytes(count);
        if (!b) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(b->data()), b->size());
    }

private:
    template <class T>
    static T byteswap(T v) {
        T out;
        auto* s = reinterpret_cast<uint8_t*>(&v);
        auto* d = reinterpret_cast<uint8_t*>(&out);
        for (size_t i = 0; i < sizeof(T); ++i) d[i] = s[sizeof(T) - 1 - i];
        return out;
    }
    std::span<const uint8_t> data_;
    uint64_t pos_ = 0;
};

class ByteWriter {
public:
    template <class T>
    void write(T v) {
        static_assert(std::is_trivially_copyable_v<T>);
        static_assert(std::endian::native == std::endian::little, "little-endian host assumed");
        const auto* p = reinterpret_cast<const uint8_t*>(&v);
        bytes_.insert(bytes_.end(), p, p + sizeof(T));
    }
    void u8(uint8_t v) { write(v); }
    void u16(uint16_t v) { write(v); }
    void u32(uint32_t v) { write(v); }
    void u64(uint64_t v) { write(v); }
    void i16(int16_t v) { write(v); }
    void i32(int32_t v) { write(v); }
    void i64(int64_t v) { write(v); }
    void f32(float v) { write(v); }
    void f64(double v) { write(v); }
    void append(std::span<const uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
    void append(const std::string& s) { bytes_.insert(bytes_.end(), s.begin(), s.end()); }
    void zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
    // Overwrites four bytes at an earlier offset (lengths known only later).
    void patchU32(size_t offset, uint32_t v) { std::memcpy(bytes_.data() + offset, &v, 4); }

    size_t size() const { return bytes_.size(); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace pk
