// Resampler benchmark: how long scaling a decoded photo to its placed size takes, for reductions,
// enlargements, rotated photos and clipped regions, and how close the reduction comes to a
// double-precision area average, and what feeding the photo in bands of rows adds. Prints
// figures; asserts nothing.
//
//   resample_bench [REPETITIONS]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "show/photo_pipeline.h"
#include "show/resample.h"

namespace {

using quillmere::PixelTarget;
using quillmere::PixelView;
using quillmere::Rect32;
using quillmere::Size32;
using Clock = std::chrono::steady_clock;

struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;

    Image(int32_t w, int32_t h) : width(w), height(h), pixels(size_t(w) * size_t(h) * 4) {}
    PixelView View() const { return {pixels.data(), width, height, ptrdiff_t{width} * 4}; }
    PixelTarget Target() { return {pixels.data(), width, height, ptrdiff_t{width} * 4}; }
};

uint32_t Hash(uint32_t x, uint32_t y) {
    uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

// Smooth gradients, fine grain, hard-edged shapes and a translucent patch, as a photo has.
Image PhotoLike(int32_t w, int32_t h) {
    Image img(w, h);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const double u = double(x) / w;
            const double v = double(y) / h;
            double c[3] = {
                110 + 90 * std::sin(6.0 * u + 1.3 * v),
                120 + 80 * std::cos(4.0 * v - 2.0 * u),
                128 + 100 * std::sin(3.0 * (u + v)) * std::cos(5.0 * u),
            };
            const double grain = double(Hash(x, y) % 41) - 20;
            const bool block = (x / (w / 7 + 1) + y / (h / 5 + 1)) % 2 == 0 && u > 0.6;
            const double dx = u - 0.3;
            const double dy = v - 0.5;
            const bool disc = dx * dx + dy * dy < 0.04;
            uint8_t* p = &img.pixels[(size_t(y) * w + x) * 4];
            for (int k = 0; k < 3; ++k) {
                double value = c[k] + grain;
                if (block) {
                    value = k == 1 ? 230 : 20;
                }
                if (disc) {
                    value = 255 - value;
                }
                p[k] = uint8_t(std::clamp(value, 0.0, 255.0) + 0.5);
            }
            p[3] = 255;
            if (u < 0.1 && v < 0.2) {
                const uint32_t a = 40 + (x * 7 + y) % 200;
                for (int k = 0; k < 3; ++k) {
                    p[k] = uint8_t((p[k] * a + 127) / 255);
                }
                p[3] = uint8_t(a);
            }
        }
    }
    return img;
}

// Coverage of source pixels by destination pixel `index`, in doubles.
std::vector<std::pair<int32_t, double>> Coverage(int32_t srcLen, int32_t dstLen, int32_t index) {
    const double scale = double(srcLen) / dstLen;
    const double lo = index * scale;
    const double hi = (index + 1) * scale;
    std::vector<std::pair<int32_t, double>> out;
    for (int32_t i = int32_t(std::floor(lo)); i < srcLen && i < hi; ++i) {
        const double part = std::min<double>(i + 1, hi) - std::max<double>(i, lo);
        if (part > 0) {
            out.push_back({i, part / scale});
        }
    }
    return out;
}

Image ReferenceAreaAverage(const Image& src, int32_t w, int32_t h) {
    Image out(w, h);
    std::vector<std::vector<std::pair<int32_t, double>>> xs(w);
    for (int32_t x = 0; x < w; ++x) {
        xs[x] = Coverage(src.width, w, x);
    }
    for (int32_t y = 0; y < h; ++y) {
        const auto ys = Coverage(src.height, h, y);
        for (int32_t x = 0; x < w; ++x) {
            double sum[4] = {};
            for (const auto& [sy, wy] : ys) {
                for (const auto& [sx, wx] : xs[x]) {
                    const uint8_t* p = &src.pixels[(size_t(sy) * src.width + sx) * 4];
                    for (int k = 0; k < 4; ++k) {
                        sum[k] += wx * wy * p[k];
                    }
                }
            }
            for (int k = 0; k < 4; ++k) {
                out.pixels[(size_t(y) * w + x) * 4 + k] = uint8_t(std::lround(sum[k]));
            }
        }
    }
    return out;
}

double Psnr(const Image& a, const Image& b) {
    double squared = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        const double d = double(a.pixels[i]) - b.pixels[i];
        squared += d * d;
    }
    const double mse = squared / double(a.pixels.size());
    return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

struct Case {
    const char* label;
    Size32 source;
    int32_t orientation;
    Size32 scaled;
    Rect32 region;  // null for the whole scaled photo
};

// The stream fed in bands of `bandRows` rows straight from the whole photo: what the bands cost
// beyond one pass, the rows kept across band ends.
bool ResampleInBands(const Image& src, int32_t orientation, Size32 scaled, Rect32 region,
                     int32_t bandRows, Image& dst) {
    quillmere::RowStreamResampler resampler;
    if (!resampler.Begin({src.width, src.height}, orientation, scaled, region, dst.Target())) {
        return false;
    }
    const ptrdiff_t stride = ptrdiff_t{src.width} * 4;
    const uint8_t* const strip = src.pixels.data() + ptrdiff_t{resampler.FirstColumn()} * 4;
    const int32_t width = resampler.EndColumn() - resampler.FirstColumn();
    while (resampler.NextRow() < resampler.EndRow()) {
        const int32_t top = resampler.NextRow();
        const int32_t rows = std::min(bandRows, resampler.EndRow() - top);
        if (!resampler.Feed({strip + top * stride, width, rows, stride}, top)) {
            return false;
        }
    }
    return resampler.Done();
}

void Run(const Case& c, int repetitions) {
    const Image src = PhotoLike(c.source.width, c.source.height);
    const Rect32 region =
        c.region.IsNull() ? Rect32{0, 0, c.scaled.width, c.scaled.height} : c.region;
    Image dst(region.right - region.left, region.bottom - region.top);
    Image banded(dst.width, dst.height);
    // The bands RenderPhoto asks the decoder for, over the stored columns the region reads.
    quillmere::RowStreamResampler probe;
    probe.Begin(c.source, c.orientation, c.scaled, region, dst.Target());
    const int32_t width = probe.EndColumn() - probe.FirstColumn();
    const int32_t bandRows = quillmere::BandRowsFor(width, quillmere::CopyRowsFor(width));
    double best = INFINITY;
    double total = 0;
    double bestBanded = INFINITY;
    bool ok = true;
    for (int i = 0; i < repetitions; ++i) {
        Clock::time_point start = Clock::now();
        ok = quillmere::ResampleRegion(src.View(), c.orientation, c.scaled, region, dst.Target()) &&
             ok;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        best = std::min(best, ms);
        total += ms;
        start = Clock::now();
        ok = ResampleInBands(src, c.orientation, c.scaled, region, bandRows, banded) && ok;
        bestBanded = std::min(
            bestBanded, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    ok = ok && banded.pixels == dst.pixels;
    std::printf(
        "%-34s %5dx%-5d o%d -> %5dx%-5d region %5dx%-5d  best %7.2f ms  mean %7.2f ms"
        "  bands of %3d best %7.2f ms%s\n",
        c.label, c.source.width, c.source.height, c.orientation, c.scaled.width, c.scaled.height,
        dst.width, dst.height, best, total / repetitions, bandRows, bestBanded,
        ok ? "" : "  (rejected or bands differ)");
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const Case cases[] = {
        {"24 MP to 960x640", {6000, 4000}, 1, {960, 640}, {}},
        {"24 MP rotated 90 to 640x960", {6000, 4000}, 6, {640, 960}, {}},
        {"24 MP transverse to 640x960", {6000, 4000}, 7, {640, 960}, {}},
        {"24 MP to 1920x1280", {6000, 4000}, 1, {1920, 1280}, {}},
        {"24 MP to 1920x1280, quarter shown",
         {6000, 4000},
         1,
         {1920, 1280},
         {960, 640, 1920, 1280}},
        {"24 MP to a 300x200 thumbnail", {6000, 4000}, 1, {300, 200}, {}},
        {"12 MP to 1440x1080", {4000, 3000}, 1, {1440, 1080}, {}},
        {"640x480 enlarged to 1920x1440", {640, 480}, 1, {1920, 1440}, {}},
        {"640x480 rotated, enlarged", {640, 480}, 8, {1440, 1920}, {}},
        {"3000x200 panorama to 1920x400", {3000, 200}, 1, {1920, 400}, {}},
    };
    for (const Case& c : cases) {
        Run(c, repetitions);
    }

    const Image src = PhotoLike(6000, 4000);
    Image fast(960, 640);
    quillmere::Resample(src.View(), 1, fast.Target());
    const Image reference = ReferenceAreaAverage(src, 960, 640);
    std::printf("PSNR 6000x4000 -> 960x640 against a double area average: %.2f dB\n",
                Psnr(fast, reference));
    return 0;
}
