#pragma once
// Uncompressed Windows bitmaps, written byte for byte the same on every run (no time, no
// screen resolution in them), and read back only as far as the checks need.

#include <QImage>

#include <cstdint>
#include <string>
#include <vector>

namespace artwork {

// 24 bits per pixel from any image without alpha; rows bottom-up, padded to four bytes.
std::vector<std::uint8_t> EncodeBmp24(const QImage& image);

// 8 bits per pixel from an Indexed8 image with at most 256 colours; the palette is written
// with 256 entries, unused ones black.
std::vector<std::uint8_t> EncodeBmp8(const QImage& image);

struct BmpInfo {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    int paletteSize = 0;
    QImage pixels;   // RGB32
};

// False (info untouched) for anything but an uncompressed bottom-up 8- or 24-bit bitmap whose
// headers and pixel data fit the bytes given; sizes are checked before anything is allocated.
bool DecodeBmp(const std::vector<std::uint8_t>& bytes, BmpInfo& info);

// Whole file into bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes);

// Through platform::AtomicFile; false, with the old file untouched, on any failure.
bool WriteWholeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace artwork
