// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CDIB: a device-independent bitmap as a bitmap file holds it: a header (the 40-byte Windows one;
// the 12-byte core header of older files is widened to it), a colour table of at most 256 entries,
// and the pixel rows bottom row first, each padded to a multiple of 4 bytes. The windows turn it
// into an image of their own (bitmap_dialog.h); this part knows nothing of them.

#include <cstdint>
#include <istream>
#include <vector>

struct DibColour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    bool operator==(const DibColour&) const = default;
};

class CDIB final {
public:
    // A 16 x 16 image, as Create makes it.
    CDIB();

    // An 8-bit image of `width` x `height` pixels, every pixel colour 0, over a colour table that
    // runs from black to white. 1 on success; 0 for a negative size or when memory runs out, and
    // the image is then empty.
    int Create(int width, int height);
    // Reads a bitmap file from the current position of the seekable `file`. 1 on success; 0 when
    // it is no bitmap, is cut short or is one this class cannot show (compressed, top-down, other
    // than 1, 4, 8 or 24 bits per pixel), and the previous contents stay.
    int Read(std::istream& file);

    int Width() const { return width; }
    int Height() const { return height; }
    int ColourCount() const { return static_cast<int>(colours.size()); }
    // One entry per colour of the table; none for an image without a table.
    std::vector<DibColour> Palette() const { return colours; }
    // Row `y` counted from the top, 0 <= y < Height(), as Width() values 0xffRRGGBB in `out`.
    // A pixel whose index lies beyond the colour table is black.
    void ExpandRow(int y, std::uint32_t* out) const;

private:
    int width = 0;
    int height = 0;
    int bitCount = 0;
    std::vector<DibColour> colours;
    std::vector<std::uint8_t> bits;
};
