// Laying a picture out on a monitor: where it goes, and the area-averaging
// scaler that brings it there, shared by every writer of laid-out pixels.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace qm {

struct Area {
    int x = 0, y = 0, width = 0, height = 0;
};

Area Intersect(Area a, Area b);

// Where a width x height picture goes on a monitor, keeping its aspect:
// filling, the smallest such area that covers the monitor (compared
// crosswise, exactly); otherwise (fitted) the largest that it holds;
// centred on it either way, so that a filled picture reaches past the
// monitor on two sides.
Area AspectArea(int width, int height, const Area& monitor, bool fill);

// Area averaging from the picture's size to a monitor's: every picture
// pixel counts in proportion to how much of an output pixel it covers. The
// rows come in once each, top down; output rows leave as soon as they are
// whole. Weights are in 1/2^14, and each output pixel's add up to exactly
// that, so a flat colour stays exact. Only the part of `to` that shows
// (`visible`, inside it) is computed: a filled picture may reach far past
// its monitor.
class AreaScaler {
public:
    static constexpr int kOne = 1 << 14;

    AreaScaler(int inWidth, int inHeight, Area to, Area visible)
        : inHeight_(inHeight), to_(to), rowsFrom_(visible.y - to.y),
          rowsTo_(visible.y - to.y + visible.height), columns_(visible.width) {
        for (int j = visible.x - to.x; j < visible.x - to.x + visible.width; ++j) {
            first_.push_back(static_cast<int>(static_cast<long long>(j) * inWidth / to.width));
            const int begin = static_cast<int>(weights_.size());
            // Source pixel i covers [i*out, (i+1)*out), output j covers
            // [j*in, (j+1)*in), all on one line of in*out units.
            const long long start = static_cast<long long>(j) * inWidth;
            for (long long i = first_.back(); i * to.width < start + inWidth; ++i) {
                const long long from = std::max(start, i * to.width) - start;
                const long long until = std::min(start + inWidth, (i + 1) * to.width) - start;
                weights_.push_back(Scaled(until, inWidth) - Scaled(from, inWidth));
            }
            count_.push_back(static_cast<int>(weights_.size()) - begin);
        }
        across_.assign(static_cast<std::size_t>(std::max(columns_, 0)) * 3, 0);
        sum_.assign(across_.size(), 0);
        out_.resize(across_.size());
    }

    // Takes picture row y (all of it) and hands each visible output row
    // finished by it to `take(row, bgr)`, bgr holding its visible columns.
    template <typename Take>
    void Push(int y, const std::uint8_t* row, Take&& take) {
        const std::size_t n = across_.size();
        const long long rowEnd = static_cast<long long>(y + 1) * to_.height;
        if (next_ >= rowsTo_ || rowEnd <= static_cast<long long>(next_) * inHeight_) {
            return;  // no visible output row takes from this picture row
        }
        const std::uint32_t* w = weights_.data();
        for (int j = 0; j < columns_; ++j) {
            const std::uint8_t* in = row + 3 * first_[j];
            std::uint32_t b = 0, g = 0, r = 0;
            for (int k = 0; k < count_[j]; ++k, in += 3) {
                b += w[k] * in[0];
                g += w[k] * in[1];
                r += w[k] * in[2];
            }
            w += count_[j];
            across_[3 * j] = b >> 6;
            across_[3 * j + 1] = g >> 6;
            across_[3 * j + 2] = r >> 6;
        }
        // Row y covers [y*out, (y+1)*out) of the vertical line; output row
        // o covers [o*in, (o+1)*in).
        while (next_ < rowsTo_) {
            const long long start = static_cast<long long>(next_) * inHeight_;
            const long long from = std::max(start, static_cast<long long>(y) * to_.height) - start;
            const long long until = std::min(start + inHeight_, rowEnd) - start;
            const std::uint32_t weight = Scaled(until, inHeight_) - Scaled(from, inHeight_);
            for (std::size_t i = 0; i < n; ++i) {
                sum_[i] += weight * across_[i];
            }
            if (start + inHeight_ > rowEnd) {
                break;  // the output row needs the next picture row too
            }
            for (std::size_t i = 0; i < n; ++i) {
                out_[i] = static_cast<std::uint8_t>((sum_[i] + (1u << 21)) >> 22);
                sum_[i] = 0;
            }
            take(next_, out_.data());
            ++next_;
        }
    }

private:
    // Position p of [0, length] on a scale of kOne, rounded.
    static std::uint32_t Scaled(long long p, long long length) {
        return static_cast<std::uint32_t>((p * kOne + length / 2) / length);
    }

    int inHeight_;
    Area to_;
    int rowsFrom_, rowsTo_, columns_;
    std::vector<int> first_, count_;
    std::vector<std::uint32_t> weights_, across_, sum_;
    std::vector<std::uint8_t> out_;
    int next_ = rowsFrom_;  // the output row being summed
};

}  // namespace qm
