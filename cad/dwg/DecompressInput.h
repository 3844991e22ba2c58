#pragma once
// The bounds-checked input and output both page decompressors share: every
// byte read and every byte written is checked, so a damaged stream ends in a
// cad::ReadError instead of a read outside the page or an endless output.
#include <algorithm>
#include <cstddef>
#include <cstdint>
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
    explicit DecompressedOutput(std::size_t maxSize) : max_(maxSize)
    {
        // Callers bound the declared size by what the file can hold, so it is
        // reserved at once: the output then never moves or grows past it.
        bytes_.reserve(maxSize);
    }

    void room(std::size_t n) const
    {
        if (n > max_ - bytes_.size()) throw ReadError("a compressed page of the drawing unpacks past its declared size");
    }
    void append(const std::uint8_t* p, std::size_t n)
    {
        room(n);
        bytes_.insert(bytes_.end(), p, p + n);
    }
    // Copies `count` bytes starting `distance` bytes back; the ranges may
    // overlap, which repeats the last `distance` bytes.
    void copyBack(std::size_t distance, std::size_t count)
    {
        if (distance == 0 || distance > bytes_.size())
            throw ReadError("a compressed page of the drawing refers to data before its start");
        room(count);
        std::size_t from = bytes_.size() - distance;
        for (std::size_t i = 0; i < count; ++i) bytes_.push_back(bytes_[from + i]);
    }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    std::size_t max_;
    std::vector<std::uint8_t> bytes_;
};

}  // namespace cad::dwg::detail
