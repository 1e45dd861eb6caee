#include "tools/draw-artwork/indexed.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace artwork {

namespace {

// Histogram cells of 6 bits per channel: fine enough for soft gradients, small enough to scan.
constexpr int kBits = 6;
constexpr int kCells = 1 << (3 * kBits);

int CellOf(QRgb c) {
    return ((qRed(c) >> 2) << 12) | ((qGreen(c) >> 2) << 6) | (qBlue(c) >> 2);
}

struct Cell {
    std::uint64_t count = 0;
    std::uint64_t r = 0, g = 0, b = 0;
};

struct Box {
    std::vector<int> cells;  // indices of non-empty cells
    std::uint64_t count = 0;
    int axis = 0;
    int range = 0;
};

int Channel(int cell, int axis) { return (cell >> (6 * (2 - axis))) & 63; }

void Measure(Box& box, const std::vector<Cell>& hist) {
    std::array<int, 3> lo{63, 63, 63};
    std::array<int, 3> hi{0, 0, 0};
    box.count = 0;
    for (int c : box.cells) {
        box.count += hist[c].count;
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], Channel(c, a));
            hi[a] = std::max(hi[a], Channel(c, a));
        }
    }
    box.axis = 0;
    box.range = -1;
    for (int a = 0; a < 3; ++a) {
        if (hi[a] - lo[a] > box.range) {
            box.range = hi[a] - lo[a];
            box.axis = a;
        }
    }
}

// Splits at the median of the pixel count along the widest axis; false when the box holds one
// cell only.
bool Split(Box& box, Box& other, const std::vector<Cell>& hist) {
    if (box.cells.size() < 2) return false;
    const int axis = box.axis;
    std::stable_sort(box.cells.begin(), box.cells.end(), [axis](int a, int b) {
        return Channel(a, axis) != Channel(b, axis) ? Channel(a, axis) < Channel(b, axis) : a < b;
    });
    std::uint64_t running = 0;
    std::size_t at = 1;
    for (std::size_t i = 0; i + 1 < box.cells.size(); ++i) {
        running += hist[box.cells[i]].count;
        at = i + 1;
        if (2 * running >= box.count) break;
    }
    other.cells.assign(box.cells.begin() + static_cast<std::ptrdiff_t>(at), box.cells.end());
    box.cells.resize(at);
    Measure(box, hist);
    Measure(other, hist);
    return true;
}

int Nearest(const QList<QRgb>& palette, int r, int g, int b) {
    int best = 0;
    long long bestDistance = -1;
    for (int i = 0; i < palette.size(); ++i) {
        const long long dr = r - qRed(palette[i]);
        const long long dg = g - qGreen(palette[i]);
        const long long db = b - qBlue(palette[i]);
        // Weighted towards green, as the eye is, so gradients step evenly in brightness.
        const long long d = 3 * dr * dr + 6 * dg * dg + 1 * db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = i;
        }
    }
    return best;
}

}  // namespace

QImage ToIndexed256(const QImage& source, const QList<QRgb>& reserved) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    std::vector<Cell> hist(kCells);
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (reserved.contains(row[x])) continue;
            Cell& cell = hist[CellOf(row[x])];
            ++cell.count;
            cell.r += qRed(row[x]);
            cell.g += qGreen(row[x]);
            cell.b += qBlue(row[x]);
        }
    }

    QList<QRgb> palette = reserved;
    std::vector<Box> boxes(1);
    for (int c = 0; c < kCells; ++c) {
        if (hist[c].count > 0) boxes[0].cells.push_back(c);
    }
    if (!boxes[0].cells.empty()) {
        Measure(boxes[0], hist);
        const std::size_t wanted = 256 - std::min<std::size_t>(palette.size(), 255);
        while (boxes.size() < wanted) {
            // The box whose pixels are spread the most over the widest range goes first.
            std::size_t pick = boxes.size();
            std::uint64_t worst = 0;
            for (std::size_t i = 0; i < boxes.size(); ++i) {
                const std::uint64_t weight = boxes[i].count * std::uint64_t(boxes[i].range + 1);
                if (boxes[i].cells.size() > 1 && weight > worst) {
                    worst = weight;
                    pick = i;
                }
            }
            if (pick == boxes.size()) break;
            Box other;
            Split(boxes[pick], other, hist);
            boxes.push_back(std::move(other));
        }
        for (const Box& box : boxes) {
            std::uint64_t n = 0, r = 0, g = 0, b = 0;
            for (int c : box.cells) {
                n += hist[c].count;
                r += hist[c].r;
                g += hist[c].g;
                b += hist[c].b;
            }
            palette.push_back(qRgb(int((r + n / 2) / n), int((g + n / 2) / n), int((b + n / 2) / n)));
        }
    }

    // Floyd-Steinberg in sixteenths; reserved colours are met exactly and pass on no error.
    QImage out(image.size(), QImage::Format_Indexed8);
    out.setColorTable(palette);
    const int w = image.width();
    std::vector<std::array<int, 3>> current(w + 2), next(w + 2);
    for (int y = 0; y < image.height(); ++y) {
        std::fill(next.begin(), next.end(), std::array<int, 3>{0, 0, 0});
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* target = out.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const int exact = static_cast<int>(reserved.indexOf(row[x]));
            if (exact >= 0) {
                target[x] = static_cast<uchar>(exact);
                continue;
            }
            std::array<int, 3> want{qRed(row[x]), qGreen(row[x]), qBlue(row[x])};
            for (int a = 0; a < 3; ++a) want[a] = std::clamp(want[a] + current[x + 1][a] / 16, 0, 255);
            const int index = Nearest(palette, want[0], want[1], want[2]);
            target[x] = static_cast<uchar>(index);
            const std::array<int, 3> got{qRed(palette[index]), qGreen(palette[index]), qBlue(palette[index])};
            for (int a = 0; a < 3; ++a) {
                const int error = want[a] - got[a];
                current[x + 2][a] += error * 7;
                next[x][a] += error * 3;
                next[x + 1][a] += error * 5;
                next[x + 2][a] += error;
            }
        }
        std::swap(current, next);
    }
    return out;
}

}  // namespace artwork
