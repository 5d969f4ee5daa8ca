// Laying a picture out on a monitor: where it goes, and the area-averaging
// scaler that brings it there, shared by every writer of laid-out pixels.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
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
// rows come in once each, top down, and are summed down each column of the
// part that shows; an output row, once whole, is summed across and leaves.
// Summing down first touches each picture row once, in 16-bit sums taken
// sixteen at a time, and the costlier sum across is made once an output row,
// not once a picture row. Weights down are in 1/2^8 (255 * 2^8 fits 16
// bits), across in 1/2^14; each output pixel's add up to exactly that, so
// a flat colour stays exact. Only the
// part of `to` that shows (`visible`, inside it) is computed: a filled
// picture may reach far past its monitor.
class AreaScaler {
public:
    static constexpr int kOne = 1 << 14;  // a whole pixel across
    static constexpr int kOneDown = 1 << 8;  // ... and down
    static constexpr std::size_t kBlock = 16;

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
        if (columns_ > 0) {
            // The picture columns the visible output columns take from.
            inFrom_ = first_.front();
            const int inTo = first_.back() + count_.back();
            down_.assign(static_cast<std::size_t>(inTo - inFrom_) * 3, 0);
        }
        out_.resize(static_cast<std::size_t>(std::max(columns_, 0)) * 3);
    }

    // What the scaler holds, in bytes.
    std::size_t HeldBytes() const {
        return (first_.size() + count_.size()) * sizeof(int) + weights_.size() * sizeof(std::uint32_t) +
               down_.size() * sizeof(std::uint16_t) + out_.size();
    }

    // Takes picture row y (all of it) and hands each visible output row
    // finished by it to `take(row, bgr)`, bgr holding its visible columns.
    template <typename Take>
    void Push(int y, const std::uint8_t* row, Take&& take) {
        const long long rowEnd = static_cast<long long>(y + 1) * to_.height;
        if (next_ >= rowsTo_ || rowEnd <= static_cast<long long>(next_) * inHeight_) {
            return;  // no visible output row takes from this picture row
        }
        const std::uint8_t* in = row + 3 * static_cast<std::size_t>(inFrom_);
        const std::size_t n = down_.size();
        std::uint16_t* down = down_.data();
        // Row y covers [y*out, (y+1)*out) of the vertical line; output row
        // o covers [o*in, (o+1)*in).
        while (next_ < rowsTo_) {
            const long long start = static_cast<long long>(next_) * inHeight_;
            const long long from = std::max(start, static_cast<long long>(y) * to_.height) - start;
            const long long until = std::min(start + inHeight_, rowEnd) - start;
            const auto weight =
                static_cast<std::uint16_t>(Scaled(until, inHeight_, kOneDown) - Scaled(from, inHeight_, kOneDown));
            SumDown(down, in, n, weight);
            if (start + inHeight_ > rowEnd) {
                break;  // the output row needs the next picture row too
            }
            Across();
            take(next_, out_.data());
            ++next_;
        }
    }

private:
    // down += weight * in over n values, kBlock at a time in the compiler's
    // own vectors: a plain loop over them stays scalar at -O2 and -Os (a
    // byte pointer may alias the sums, and the cost model then declines).
    static void SumDown(std::uint16_t* down, const std::uint8_t* in, std::size_t n,
                        std::uint16_t weight) {
#if defined(__i386__) && !defined(__SSE2__)
        // A 32-bit build for every x86 lowers the vectors to single values;
        // on the processors that have SSE2 (all but the oldest) they are
        // made with it.
        static const bool sse2 = __builtin_cpu_supports("sse2");
        if (sse2) {
            SumDownSse2(down, in, n, weight);
            return;
        }
#endif
        SumDownBlocks(down, in, n, weight);
    }

#if defined(__i386__) && !defined(__SSE2__)
    __attribute__((target("sse2"))) static void SumDownSse2(std::uint16_t* down, const std::uint8_t* in,
                                                            std::size_t n, std::uint16_t weight) {
        SumDownBlocks(down, in, n, weight);
    }
#endif

    __attribute__((always_inline)) static inline void SumDownBlocks(std::uint16_t* down, const std::uint8_t* in,
                                                                    std::size_t n, std::uint16_t weight) {
        typedef std::uint8_t Bytes __attribute__((vector_size(kBlock)));
        typedef std::uint16_t Sums __attribute__((vector_size(2 * kBlock)));
        std::size_t i = 0;
        for (; i + kBlock <= n; i += kBlock) {
            Bytes bytes;
            Sums sums;
            std::memcpy(&bytes, in + i, sizeof bytes);
            std::memcpy(&sums, down + i, sizeof sums);
            sums += __builtin_convertvector(bytes, Sums) * weight;
            std::memcpy(down + i, &sums, sizeof sums);
        }
        for (; i < n; ++i) {
            down[i] = static_cast<std::uint16_t>(down[i] + weight * in[i]);
        }
    }

    // Position p of [0, length] on a scale of one, rounded.
    static std::uint32_t Scaled(long long p, long long length, long long one = kOne) {
        return static_cast<std::uint32_t>((p * one + length / 2) / length);
    }

    // The whole output row: its column sums weighted across, then cleared.
    // A sum down (at most 255 * 2^8) times the weights across (2^14 in
    // all) fits 32 bits.
    void Across() {
        const std::uint32_t* w = weights_.data();
        for (int j = 0; j < columns_; ++j) {
            const std::uint16_t* in = down_.data() + 3 * static_cast<std::size_t>(first_[j] - inFrom_);
            std::uint32_t b = 0, g = 0, r = 0;
            for (int k = 0; k < count_[j]; ++k, in += 3) {
                b += w[k] * in[0];
                g += w[k] * in[1];
                r += w[k] * in[2];
            }
            w += count_[j];
            out_[3 * j] = static_cast<std::uint8_t>((b + (1u << 21)) >> 22);
            out_[3 * j + 1] = static_cast<std::uint8_t>((g + (1u << 21)) >> 22);
            out_[3 * j + 2] = static_cast<std::uint8_t>((r + (1u << 21)) >> 22);
        }
        std::fill(down_.begin(), down_.end(), std::uint16_t{0});
    }

    int inHeight_;
    Area to_;
    int rowsFrom_, rowsTo_, columns_;
    int inFrom_ = 0;
    std::vector<int> first_, count_;
    std::vector<std::uint32_t> weights_;
    std::vector<std::uint16_t> down_;
    std::vector<std::uint8_t> out_;
    int next_ = rowsFrom_;  // the output row being summed
};

}  // namespace qm
