// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/bitmap/dib.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <array>
#include <sstream>
#include <string>
#include <tuple>

namespace {

struct TestPicture {
    int width = 0;
    int height = 0;
    int bitCount = 8;
    std::vector<std::array<std::uint8_t, 3>> colours;  // red, green, blue; written as the table
    std::vector<std::uint32_t> pixels;                 // top row first: colour indices, or 0xRRGGBB for 24 bits
};

// The picture as a bitmap file with the Windows header and a colours-used field of `coloursUsed`,
// or with the core header; rows bottom row first, padded to 4 bytes.
std::string BitmapFile(const TestPicture& picture, bool core, std::uint32_t coloursUsed = 0)
{
    const auto put = [](std::string& out, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>(value >> 8 * i & 0xff);
    };
    const std::size_t rowBytes = (static_cast<std::size_t>(picture.width) * picture.bitCount + 31) / 32 * 4;
    std::string rows;
    for (int y = picture.height - 1; y >= 0; --y) {
        std::string row(rowBytes, '\0');
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t pixel = picture.pixels[static_cast<std::size_t>(y * picture.width + x)];
            if (picture.bitCount == 24) {
                row.replace(static_cast<std::size_t>(x) * 3, 3,
                            {static_cast<char>(pixel & 0xff), static_cast<char>(pixel >> 8 & 0xff),
                             static_cast<char>(pixel >> 16)});
            } else {
                const int bit = x * picture.bitCount;
                row[bit / 8] = static_cast<char>(row[bit / 8] | pixel << (8 - picture.bitCount - bit % 8));
            }
        }
        rows += row;
    }
    std::string header;
    put(header, core ? 12 : 40, 4);
    put(header, static_cast<std::uint32_t>(picture.width), core ? 2 : 4);
    put(header, static_cast<std::uint32_t>(picture.height), core ? 2 : 4);
    put(header, 1, 2);
    put(header, static_cast<std::uint32_t>(picture.bitCount), 2);
    if (!core) {
        for (std::uint32_t field : {0u, static_cast<std::uint32_t>(rows.size()), 2835u, 2835u, coloursUsed, 0u})
            put(header, field, 4);
    }
    std::string table;
    for (const auto& [red, green, blue] : picture.colours) {
        table += {static_cast<char>(blue), static_cast<char>(green), static_cast<char>(red)};
        if (!core)
            table += '\0';
    }
    std::string file = "BM";
    const auto offset = static_cast<std::uint32_t>(14 + header.size() + table.size());
    put(file, offset + static_cast<std::uint32_t>(rows.size()), 4);
    put(file, 0, 4);
    put(file, offset, 4);
    return file + header + table + rows;
}

std::vector<std::uint32_t> Pixels(const CDIB& dib)
{
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(dib.Width() * dib.Height()));
    for (int y = 0; y < dib.Height(); ++y)
        dib.ExpandRow(y, pixels.data() + static_cast<std::size_t>(y * dib.Width()));
    return pixels;
}

// All a caller can see of the image, to show that a refused file changed nothing.
auto State(const CDIB& dib)
{
    return std::tuple(dib.Width(), dib.Height(), dib.Palette(), Pixels(dib));
}

int ReadFrom(CDIB& dib, const std::string& bytes)
{
    std::istringstream file(bytes);
    return dib.Read(file);
}

// 5 pixels wide, so every depth has padding at the row ends; every colour distinct.
TestPicture Picture(int bitCount)
{
    TestPicture picture{5, 3, bitCount, {}, {}};
    const std::uint32_t colours = bitCount == 24 ? 0 : 1u << bitCount;
    for (std::uint32_t i = 0; i < colours; ++i)
        picture.colours.push_back({std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7)});
    for (std::uint32_t i = 0; i < 15; ++i)
        picture.pixels.push_back(bitCount == 24 ? 0x102030 * (i + 1) : (i * 5 + 3) % colours);
    return picture;
}

std::vector<std::uint32_t> Expected(const TestPicture& picture)
{
    std::vector<std::uint32_t> expected;
    for (std::uint32_t pixel : picture.pixels) {
        if (picture.bitCount != 24) {
            const auto& [red, green, blue] = picture.colours[pixel];
            pixel = std::uint32_t(red) << 16 | std::uint32_t(green) << 8 | blue;
        }
        expected.push_back(0xff000000u | pixel);
    }
    return expected;
}

TEST(DibTest, FourBitFileWithFiveColoursUsedHasAFiveEntryTable)
{
    const TestPicture picture{
        3, 2, 4, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}}, {0, 1, 2, 3, 4, 7}};
    // Offsets count from where the bitmap begins, not from the start of the stream.
    std::istringstream file("junk" + BitmapFile(picture, false, 5));
    file.seekg(4);
    CDIB dib;
    ASSERT_EQ(dib.Read(file), 1);
    EXPECT_EQ(dib.ColourCount(), 5);
    EXPECT_EQ(dib.Palette(), (std::vector<DibColour>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}}));
    // Index 7 lies beyond the table and shows black.
    EXPECT_EQ(Pixels(dib),
              (std::vector<std::uint32_t>{0xff010203, 0xff040506, 0xff070809, 0xff0a0b0c, 0xff0d0e0f, 0xff000000}));
}

TEST(DibTest, CoreHeaderFileReadsLikeTheSamePictureWithAWindowsHeader)
{
    for (int bitCount : {1, 4, 8, 24}) {
        SCOPED_TRACE(bitCount);
        const TestPicture picture = Picture(bitCount);
        CDIB windows;
        CDIB core;
        ASSERT_EQ(ReadFrom(windows, BitmapFile(picture, false)), 1);
        ASSERT_EQ(ReadFrom(core, BitmapFile(picture, true)), 1);
        EXPECT_EQ(Pixels(windows), Expected(picture));
        EXPECT_EQ(State(core), State(windows));
        EXPECT_EQ(core.ColourCount(), bitCount == 24 ? 0 : 1 << bitCount);
    }
    // 36 bytes in all: less than a Windows header needs, still a whole bitmap.
    const std::string tiny = BitmapFile({1, 1, 1, {{0, 0, 0}, {255, 255, 255}}, {1}}, true);
    ASSERT_EQ(tiny.size(), 36u);
    CDIB dib;
    ASSERT_EQ(ReadFrom(dib, tiny), 1);
    EXPECT_EQ(Pixels(dib), std::vector<std::uint32_t>{0xffffffff});
}

TEST(DibTest, RefusedFilesKeepThePreviousImageAndCostNoMemory)
{
    const std::string good = BitmapFile(Picture(8), false);
    const auto patched = [&good](std::size_t at, std::string bytes) {
        return good.substr(0, at) + bytes + good.substr(at + bytes.size());
    };
    const std::pair<const char*, std::string> refused[] = {
        {"type BA", patched(0, "BA")},
        {"header of 64 bytes", patched(14, std::string("\x40\0\0\0", 4))},
        {"16 bits per pixel", patched(28, std::string("\x10\0", 2))},
        {"compressed", patched(30, std::string("\x01\0\0\0", 4))},
        {"top row first", patched(22, "\xfd\xff\xff\xff")},
        {"no width", patched(18, std::string(4, '\0'))},
        {"257 colours", patched(46, std::string("\x01\x01\0\0", 4))},
        {"file size below the bits", patched(2, std::string("\x10\0\0\0", 4))},
        {"bits shorter than the rows", patched(2, std::string("\x4d\x04\0\0", 4))},  // 1078 + 23 bytes
        {"4 GiB of bits", patched(2, "\xff\xff\xff\xff")},
        {"2^31 x 2^31 pixels", patched(18, "\xff\xff\xff\x7f\xff\xff\xff\x7f")},
    };
    const auto peakKilobytes = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_maxrss;
    };
    CDIB dib;
    ASSERT_EQ(ReadFrom(dib, BitmapFile(Picture(4), false)), 1);
    const auto before = State(dib);
    const long peakBefore = peakKilobytes();
    for (const auto& [name, bytes] : refused) {
        EXPECT_EQ(ReadFrom(dib, bytes), 0) << name;
        EXPECT_EQ(State(dib), before) << name;
    }
    // Sizes are checked against what the file holds before anything is allocated for them.
    EXPECT_LT(peakKilobytes() - peakBefore, 64 * 1024);
}

TEST(DibTest, FileCutShortAnywhereIsRefused)
{
    for (bool core : {false, true}) {
        const std::string file = BitmapFile(Picture(8), core);
        CDIB dib;
        const auto before = State(dib);
        for (std::size_t length = 0; length < file.size(); ++length) {
            ASSERT_EQ(ReadFrom(dib, file.substr(0, length)), 0) << length;
            ASSERT_EQ(State(dib), before) << length;
        }
        EXPECT_EQ(ReadFrom(dib, file), 1);
    }
}

}  // namespace
