#pragma once
// The bounds-checked input and output both page decompressors share: every
// byte read and every byte written is checked, so a damaged stream ends in a
// cad::ReadError instead of a read outside the page or an endless output.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cad/model/Drawing.h"

namespace cad::dwg::detail {

class CompressedInput {
public:
    CompressedInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return pos_ >= size_; }
    std::uint8_t byte()
    {
        if (pos_ >= size_) throw ReadError("a compressed page of the drawing ends too early");
        return data_[pos_++];
    }
    const std::uint8_t* take(std::size_t n)
    {
        if (n > size_ - pos_) throw ReadError("a compressed page of the drawing ends too early");
        const std::uint8_t* p = data_ + pos_;
        pos_ += n;
        return p;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

class DecompressedOutput {
public:
    // Callers bound the declared size by what the file can hold, so the
    // whole output is allocated at once and never moves or grows.
    explicit DecompressedOutput(std::size_t maxSize) : bytes_(maxSize) {}

    void room(std::size_t n) const
    {
        if (n > bytes_.size() - size_) throw ReadError("a compressed page of the drawing unpacks past its declared size");
    }
    void append(const std::uint8_t* p, std::size_t n)
    {
        room(n);
        if (n == 0) return;
        std::memcpy(bytes_.data() + size_, p, n);
        size_ += n;
    }
    // Copies `count` bytes starting `distance` bytes back; the ranges may
    // overlap, which repeats the last `distance` bytes.
    void copyBack(std::size_t distance, std::size_t count)
    {
        if (distance == 0 || distance > size_)
            throw ReadError("a compressed page of the drawing refers to data before its start");
        room(count);
        std::uint8_t* to = bytes_.data() + size_;
        const std::uint8_t* from = to - distance;
        if (distance >= count) {
            if (count) std::memcpy(to, from, count);
        } else {
            for (std::size_t i = 0; i < count; ++i) to[i] = from[i];
        }
        size_ += count;
    }
    std::vector<std::uint8_t> take()
    {
        bytes_.resize(size_);
        return std::move(bytes_);
    }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t size_ = 0;
};

}  // namespace cad::dwg::detail
