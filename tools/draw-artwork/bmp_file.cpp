#include "tools/draw-artwork/bmp_file.h"

#include "platform/atomic_file.h"

#include <fstream>
#include <iterator>

namespace artwork {

namespace {

constexpr int kFileHeader = 14;
constexpr int kInfoHeader = 40;
constexpr std::uint32_t kPixelsPerMetre = 2835;  // 72 dpi, a fixed value rather than the screen's
constexpr int kMaxSide = 16384;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

std::uint32_t Get16(const std::vector<std::uint8_t>& in, std::size_t at) {
    return in[at] | (std::uint32_t(in[at + 1]) << 8);
}

std::uint32_t Get32(const std::vector<std::uint8_t>& in, std::size_t at) {
    return Get16(in, at) | (Get16(in, at + 2) << 16);
}

int RowBytes(int width, int bits) { return ((width * bits + 31) / 32) * 4; }

std::vector<std::uint8_t> Headers(const QImage& image, int bits, int paletteEntries) {
    const std::uint32_t paletteBytes = 4u * paletteEntries;
    const std::uint32_t dataBytes = std::uint32_t(RowBytes(image.width(), bits)) * image.height();
    const std::uint32_t offset = kFileHeader + kInfoHeader + paletteBytes;
    std::vector<std::uint8_t> out;
    out.reserve(offset + dataBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + dataBytes);
    Put32(out, 0);
    Put32(out, offset);
    Put32(out, kInfoHeader);
    Put32(out, image.width());
    Put32(out, image.height());  // positive: rows bottom-up, as every reader expects
    Put16(out, 1);
    Put16(out, bits);
    Put32(out, 0);  // BI_RGB
    Put32(out, dataBytes);
    Put32(out, kPixelsPerMetre);
    Put32(out, kPixelsPerMetre);
    Put32(out, paletteEntries);
    Put32(out, 0);
    return out;
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp24(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint8_t> out = Headers(image, 24, 0);
    const int pad = RowBytes(image.width(), 24) - image.width() * 3;
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            out.push_back(static_cast<std::uint8_t>(qBlue(row[x])));
            out.push_back(static_cast<std::uint8_t>(qGreen(row[x])));
            out.push_back(static_cast<std::uint8_t>(qRed(row[x])));
        }
        out.insert(out.end(), pad, 0);
    }
    return out;
}

std::vector<std::uint8_t> EncodeBmp8(const QImage& image) {
    std::vector<std::uint8_t> out = Headers(image, 8, 256);
    const QList<QRgb> table = image.colorTable();
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < table.size() ? table[i] : qRgb(0, 0, 0);
        out.push_back(static_cast<std::uint8_t>(qBlue(c)));
        out.push_back(static_cast<std::uint8_t>(qGreen(c)));
        out.push_back(static_cast<std::uint8_t>(qRed(c)));
        out.push_back(0);
    }
    const int pad = RowBytes(image.width(), 8) - image.width();
    for (int y = image.height() - 1; y >= 0; --y) {
        const uchar* row = image.constScanLine(y);
        out.insert(out.end(), row, row + image.width());
        out.insert(out.end(), pad, 0);
    }
    return out;
}

bool DecodeBmp(const std::vector<std::uint8_t>& in, BmpInfo& info) {
    if (in.size() < kFileHeader + kInfoHeader || in[0] != 'B' || in[1] != 'M') return false;
    const std::uint32_t offset = Get32(in, 10);
    if (Get32(in, 14) < kInfoHeader) return false;
    const auto width = static_cast<std::int32_t>(Get32(in, 18));
    const auto height = static_cast<std::int32_t>(Get32(in, 22));
    const int bits = static_cast<int>(Get16(in, 28));
    const std::uint32_t compression = Get32(in, 30);
    std::uint32_t colours = Get32(in, 46);
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return false;
    if (compression != 0 || (bits != 8 && bits != 24)) return false;
    if (bits == 8 && colours == 0) colours = 256;
    if (bits == 8 && colours > 256) return false;
    const std::size_t paletteAt = kFileHeader + Get32(in, 14);
    const std::size_t rowBytes = RowBytes(width, bits);
    if (bits == 8 && paletteAt + 4 * std::size_t(colours) > offset) return false;
    if (offset > in.size() || in.size() - offset < rowBytes * height) return false;

    QImage pixels(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const std::size_t rowAt = offset + rowBytes * (height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(pixels.scanLine(y));
        for (int x = 0; x < width; ++x) {
            if (bits == 24) {
                const std::size_t at = rowAt + 3 * std::size_t(x);
                out[x] = qRgb(in[at + 2], in[at + 1], in[at]);
            } else {
                const std::uint32_t index = in[rowAt + x];
                if (index >= colours) return false;
                const std::size_t at = paletteAt + 4 * std::size_t(index);
                out[x] = qRgb(in[at + 2], in[at + 1], in[at]);
            }
        }
    }
    info.width = width;
    info.height = height;
    info.bitsPerPixel = bits;
    info.paletteSize = bits == 8 ? int(colours) : 0;
    info.pixels = std::move(pixels);
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<std::uint8_t> read((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return false;
    bytes = std::move(read);
    return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    platform::AtomicFile file;
    return file.Open(path) && file.Write(bytes.data(), bytes.size()) && file.Commit();
}

}  // namespace artwork
