#include "clsFIFO.h"

#include <algorithm>

namespace {
constexpr std::int32_t kInitialSize = 32;
}

clsFIFO::clsFIFO() : values_(kInitialSize, 0.0) {}

std::int32_t clsFIFO::Count() const
{
    return count_;
}

std::int32_t clsFIFO::Size() const
{
    return static_cast<std::int32_t>(values_.size());
}

double clsFIFO::Value(std::int32_t index) const
{
    const std::int32_t size = Size();
    if (index < 0 || index >= size)
        return 0.0;
    std::int32_t pos = writePos_ - 1 - index;
    if (pos < 0)
        pos += size;
    return values_[static_cast<std::size_t>(pos)];
}

void clsFIFO::Add(double value)
{
    const std::int32_t size = Size();
    values_[static_cast<std::size_t>(writePos_)] = value;
    if (count_ < size)
        ++count_;
    writePos_ = (writePos_ + 1) % size;
}

void clsFIFO::Reset()
{
    count_ = 0;
    writePos_ = 0;
    std::fill(values_.begin(), values_.end(), 0.0);
}

void clsFIFO::Resize(std::int32_t newSize)
{
    const std::int32_t n = std::clamp<std::int32_t>(newSize, 1, MaxSize);
    values_.resize(static_cast<std::size_t>(n), 0.0);
    count_ = std::min(count_, n);
    if (writePos_ >= n)
        writePos_ = 0;
}
