// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bitmap/dib.h"

#include <new>

namespace {

constexpr std::uint16_t kBitmapFileType = 19778;  // "BM"
constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kWindowsHeaderBytes = 40;
constexpr std::uint32_t kCoreHeaderBytes = 12;
constexpr std::size_t kLargestColourTable = 256;

std::uint16_t Word(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t DoubleWord(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(Word(bytes)) | static_cast<std::uint32_t>(Word(bytes + 2)) << 16;
}

bool ReadBytes(std::istream& file, unsigned char* buffer, std::size_t count)
{
    file.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(file.gcount()) == count;
}

std::size_t RowBytes(int width, int bitCount)
{
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32 * 4;
}

bool Allocate(std::vector<std::uint8_t>& bits, std::size_t size)
{
    try {
        bits.assign(size, 0);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

CDIB::CDIB()
{
    Create(16, 16);
}

int CDIB::Create(int newWidth, int newHeight)
{
    width = height = bitCount = 0;
    colours.clear();
    bits.clear();
    bits.shrink_to_fit();
    if (newWidth < 0 || newHeight < 0 || !Allocate(bits, RowBytes(newWidth, 8) * static_cast<std::size_t>(newHeight)))
        return 0;
    width = newWidth;
    height = newHeight;
    bitCount = 8;
    colours.resize(kLargestColourTable);
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const auto grey = static_cast<std::uint8_t>(i);
        colours[i] = {grey, grey, grey};
    }
    return 1;
}

int CDIB::Read(std::istream& file)
{
    const std::streampos start = file.tellg();
    if (start == std::streampos(-1))
        return 0;

    unsigned char fileHeader[kFileHeaderBytes];
    if (!ReadBytes(file, fileHeader, sizeof fileHeader) || Word(fileHeader) != kBitmapFileType)
        return 0;
    const std::uint32_t fileSize = DoubleWord(fileHeader + 2);
    const std::uint32_t bitsOffset = DoubleWord(fileHeader + 10);

    // The header's own first field tells which of the two it is, so a small file with a core
    // header is read without asking for bytes it does not have.
    unsigned char header[kWindowsHeaderBytes];
    if (!ReadBytes(file, header, 4))
        return 0;
    const std::uint32_t headerBytes = DoubleWord(header);
    std::int64_t newWidth = 0;
    std::int64_t newHeight = 0;
    int newBitCount = 0;
    std::uint32_t coloursUsed = 0;
    if (headerBytes == kWindowsHeaderBytes) {
        if (!ReadBytes(file, header + 4, kWindowsHeaderBytes - 4))
            return 0;
        newWidth = static_cast<std::int32_t>(DoubleWord(header + 4));
        newHeight = static_cast<std::int32_t>(DoubleWord(header + 8));
        newBitCount = Word(header + 14);
        if (DoubleWord(header + 16) != 0)  // compressed rows
            return 0;
        coloursUsed = DoubleWord(header + 32);
    } else if (headerBytes == kCoreHeaderBytes) {
        if (!ReadBytes(file, header + 4, kCoreHeaderBytes - 4))
            return 0;
        newWidth = Word(header + 4);
        newHeight = Word(header + 6);
        newBitCount = Word(header + 10);
    } else {
        return 0;
    }
    // A negative height would mean rows stored top row first, which the drawing side does not do.
    if (newWidth <= 0 || newHeight <= 0)
        return 0;
    if (newBitCount != 1 && newBitCount != 4 && newBitCount != 8 && newBitCount != 24)
        return 0;

    std::size_t colourCount = newBitCount == 24 ? 0 : std::size_t{1} << newBitCount;
    if (coloursUsed != 0)
        colourCount = coloursUsed;
    if (colourCount > kLargestColourTable)
        return 0;
    const std::size_t entryBytes = headerBytes == kWindowsHeaderBytes ? 4 : 3;
    unsigned char table[kLargestColourTable * 4];
    if (!ReadBytes(file, table, colourCount * entryBytes))
        return 0;
    std::vector<DibColour> newColours(colourCount);
    for (std::size_t i = 0; i < colourCount; ++i) {
        const unsigned char* entry = table + i * entryBytes;  // blue, green, red
        newColours[i] = {entry[2], entry[1], entry[0]};
    }

    // Every size is checked against what the file really holds before anything is allocated for
    // it, so a header that announces gigabytes costs nothing.
    if (fileSize < bitsOffset)
        return 0;
    const std::size_t bitsSize = fileSize - bitsOffset;
    const std::size_t rowBytes = RowBytes(static_cast<int>(newWidth), newBitCount);
    if (bitsSize / rowBytes < static_cast<std::size_t>(newHeight))
        return 0;
    const std::streampos bitsStart = start + std::streamoff(bitsOffset);
    if (!file.seekg(0, std::ios::end))
        return 0;
    if (file.tellg() - bitsStart < std::streamoff(bitsSize))
        return 0;
    std::vector<std::uint8_t> newBits;
    if (!file.seekg(bitsStart) || !Allocate(newBits, bitsSize) || !ReadBytes(file, newBits.data(), bitsSize))
        return 0;

    width = static_cast<int>(newWidth);
    height = static_cast<int>(newHeight);
    bitCount = newBitCount;
    colours = std::move(newColours);
    bits = std::move(newBits);
    return 1;
}

void CDIB::ExpandRow(int y, std::uint32_t* out) const
{
    const std::size_t rowBytes = RowBytes(width, bitCount);
    const std::uint8_t* row = bits.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes;
    const auto rgb = [](std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
        return 0xff000000u | red << 16 | green << 8 | blue;
    };
    if (bitCount == 24) {
        for (int x = 0; x < width; ++x, row += 3)
            out[x] = rgb(row[2], row[1], row[0]);
        return;
    }
    // Indexed pixels, leftmost in the highest bits of each byte.
    const int perByte = 8 / bitCount;
    const unsigned mask = (1u << bitCount) - 1;
    for (int x = 0; x < width; ++x) {
        const int shift = (perByte - 1 - x % perByte) * bitCount;
        const unsigned index = row[x / perByte] >> shift & mask;
        if (index < colours.size()) {
            const DibColour& colour = colours[index];
            out[x] = rgb(colour.red, colour.green, colour.blue);
        } else {
            out[x] = rgb(0, 0, 0);
        }
    }
}
