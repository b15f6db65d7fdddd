#pragma once
// Fixed-capacity ring buffer of doubles that hands the most recent values
// back newest first. The main window keeps two of them (distances and their
// times) for the chart's auto-scaling.
#include <cstdint>
#include <vector>

class clsFIFO {
public:
    // Largest capacity Resize accepts (8 bytes per entry, 32 MiB); the chart
    // asks for a few thousand entries, a recording playback for 30 000.
    static constexpr std::int32_t MaxSize = 1 << 22;

    clsFIFO();

    // Number of valid entries, 0..Size().
    std::int32_t Count() const;

    // Capacity (32 for a new buffer).
    std::int32_t Size() const;

    // The value added `index` places before the newest (0 = newest).
    // Callers keep the index below Count(); positions never written, or
    // cleared by Reset, read as 0. An index outside 0..Size()-1 is rejected
    // and reads as 0 without touching the storage.
    double Value(std::int32_t index) const;

    // Stores the value as the newest entry, overwriting the oldest when full.
    void Add(double value);

    // Forgets every entry and clears the storage.
    void Reset();

    // Changes the capacity, keeping the values at positions that still exist
    // (new positions hold 0). Callers call Reset right after. A size below 1
    // becomes 1 and one above MaxSize becomes MaxSize; when shrinking, Count
    // is cut to the new capacity and a write position past the end starts
    // again at 0, so that the buffer stays consistent even without Reset.
    void Resize(std::int32_t newSize);

private:
    std::int32_t count_ = 0;
    std::int32_t writePos_ = 0;
    std::vector<double> values_;
};
