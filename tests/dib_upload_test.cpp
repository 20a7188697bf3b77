// The DIB upload against what the reference GDI was seen to do: every form of
// header, depth and compression, the colour rules, RLE escapes and refusals,
// each checked pixel by pixel on a bitmap pre-filled with 0xA5A5A5A5 so that
// untouched pixels show. Then the bound that keeps an upload inside a loaded
// file, and the BMP Suite corpus.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bitmap/internal.h"
#include "platform/bytes.h"
#include "support.h"

namespace {

struct Observed {
    const char* name;
    int result;
    const char* rows;  // device rows top first, words 0xAARRGGBB, rows split by '|'
};

const Observed kObserved[] = {
    {"1bpp BITMAPINFOHEADER 10x3 bottom-up, 2 colours", 3,
     "000040c0 000140c0 000040c0 000040c0 000140c0 000040c0 000040c0 000140c0 000040c0 000040c0|"
     "000040c0 000040c0 000140c0 000040c0 000040c0 000140c0 000040c0 000040c0 000140c0 000040c0|"
     "000140c0 000040c0 000040c0 000140c0 000040c0 000040c0 000140c0 000040c0 000040c0 000140c0"},
    {"1bpp BITMAPINFOHEADER 10x-3 top-down", 3,
     "000140c0 000040c0 000040c0 000140c0 000040c0 000040c0 000140c0 000040c0 000040c0 000140c0|"
     "000040c0 000040c0 000140c0 000040c0 000040c0 000140c0 000040c0 000040c0 000140c0 000040c0|"
     "000040c0 000140c0 000040c0 000040c0 000140c0 000040c0 000040c0 000140c0 000040c0 000040c0"},
    {"1bpp BITMAPCOREHEADER 10x3 (RGBTRIPLE table)", 3,
     "000041c1 000141c1 000041c1 000041c1 000141c1 000041c1 000041c1 000141c1 000041c1 000041c1|"
     "000041c1 000041c1 000141c1 000041c1 000041c1 000141c1 000041c1 000041c1 000141c1 000041c1|"
     "000141c1 000041c1 000041c1 000141c1 000041c1 000041c1 000141c1 000041c1 000041c1 000141c1"},
    {"4bpp BITMAPINFOHEADER 5x4, 16 colours", 4,
     "000f40c0 000040c0 000140c0 000240c0 000340c0|"
     "000a40c0 000b40c0 000c40c0 000d40c0 000e40c0|"
     "000540c0 000640c0 000740c0 000840c0 000940c0|"
     "000040c0 000140c0 000240c0 000340c0 000440c0"},
    {"4bpp BITMAPINFOHEADER 5x4, biClrUsed=6 (indices 6..15 out of range)", 4,
     "00000000 000040c0 000140c0 000240c0 000340c0|"
     "00000000 00000000 00000000 00000000 00000000|"
     "000540c0 00000000 00000000 00000000 00000000|"
     "000040c0 000140c0 000240c0 000340c0 000440c0"},
    {"4bpp BITMAPCOREHEADER 5x4", 4,
     "000f41c1 000041c1 000141c1 000241c1 000341c1|"
     "000a41c1 000b41c1 000c41c1 000d41c1 000e41c1|"
     "000541c1 000641c1 000741c1 000841c1 000941c1|"
     "000041c1 000141c1 000241c1 000341c1 000441c1"},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=0 (256 entries)", 3,
     "000340c0 000240c0 000140c0 000040c0 000940c0 000a40c0|"
     "000640c0 000740c0 000840c0 006440c0 00c840c0 00ff40c0|"
     "000040c0 000140c0 000240c0 000340c0 000440c0 000540c0"},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=4 (table of 4, bytes after it = 0xEE)", 3,
     "000340c0 000240c0 000140c0 000040c0 00000000 00000000|"
     "00000000 00000000 00000000 00000000 00000000 00000000|"
     "000040c0 000140c0 000240c0 000340c0 00000000 00000000"},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=4 (bytes after table = 0)", 3,
     "000340c0 000240c0 000140c0 000040c0 00000000 00000000|"
     "00000000 00000000 00000000 00000000 00000000 00000000|"
     "000040c0 000140c0 000240c0 000340c0 00000000 00000000"},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=300 (> 256)", 3,
     "000340c0 000240c0 000140c0 000040c0 000940c0 000a40c0|"
     "000640c0 000740c0 000840c0 006440c0 00c840c0 00ff40c0|"
     "000040c0 000140c0 000240c0 000340c0 000440c0 000540c0"},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=0 biClrImportant=3", 3,
     "000340c0 000240c0 000140c0 000040c0 000940c0 000a40c0|"
     "000640c0 000740c0 000840c0 006440c0 00c840c0 00ff40c0|"
     "000040c0 000140c0 000240c0 000340c0 000440c0 000540c0"},
    {"8bpp BITMAPCOREHEADER 6x3", 3,
     "000341c1 000241c1 000141c1 000041c1 000941c1 000a41c1|"
     "000641c1 000741c1 000841c1 006441c1 00c841c1 00ff41c1|"
     "000041c1 000141c1 000241c1 000341c1 000441c1 000541c1"},
    {"8bpp BITMAPINFOHEADER 6x-3 top-down", 3,
     "000040c0 000140c0 000240c0 000340c0 000440c0 000540c0|"
     "000640c0 000740c0 000840c0 006440c0 00c840c0 00ff40c0|"
     "000340c0 000240c0 000140c0 000040c0 000940c0 000a40c0"},
    {"16bpp BI_RGB (555) 32x3", 3,
     "00000000 00080000 00100000 00180000 00210000 00290000 00310000 00390000 00420000 004a0000 00520000 005a0000 00630000 006b0000 00730000 007b0000 00840000 008c0000 00940000 009c0000 00a50000 00ad0000 00b50000 00bd0000 00c60000 00ce0000 00d60000 00de0000 00e70000 00ef0000 00f70000 00ff0000|"
     "00000000 00000800 00001000 00001800 00002100 00002900 00003100 00003900 00004200 00004a00 00005200 00005a00 00006300 00006b00 00007300 00007b00 00008400 00008c00 00009400 00009c00 0000a500 0000ad00 0000b500 0000bd00 0000c600 0000ce00 0000d600 0000de00 0000e700 0000ef00 0000f700 0000ff00|"
     "00000000 00000008 00000010 00000018 00000021 00000029 00000031 00000039 00000042 0000004a 00000052 0000005a 00000063 0000006b 00000073 0000007b 00000084 0000008c 00000094 0000009c 000000a5 000000ad 000000b5 000000bd 000000c6 000000ce 000000d6 000000de 000000e7 000000ef 000000f7 000000ff"},
    {"16bpp BI_BITFIELDS 565 64x3", 3,
     "00000000 00080000 00100000 00180000 00210000 00290000 00310000 00390000 00420000 004a0000 00520000 005a0000 00630000 006b0000 00730000 007b0000 00840000 008c0000 00940000 009c0000 00a50000 00ad0000 00b50000 00bd0000 00c60000 00ce0000 00d60000 00de0000 00e70000 00ef0000 00f70000 00ff0000 00000000 00080000 00100000 00180000 00210000 00290000 00310000 00390000 00420000 004a0000 00520000 005a0000 00630000 006b0000 00730000 007b0000 00840000 008c0000 00940000 009c0000 00a50000 00ad0000 00b50000 00bd0000 00c60000 00ce0000 00d60000 00de0000 00e70000 00ef0000 00f70000 00ff0000|"
     "00000000 00000400 00000800 00000c00 00001000 00001400 00001800 00001c00 00002000 00002400 00002800 00002c00 00003000 00003400 00003800 00003c00 00004100 00004500 00004900 00004d00 00005100 00005500 00005900 00005d00 00006100 00006500 00006900 00006d00 00007100 00007500 00007900 00007d00 00008200 00008600 00008a00 00008e00 00009200 00009600 00009a00 00009e00 0000a200 0000a600 0000aa00 0000ae00 0000b200 0000b600 0000ba00 0000be00 0000c300 0000c700 0000cb00 0000cf00 0000d300 0000d700 0000db00 0000df00 0000e300 0000e700 0000eb00 0000ef00 0000f300 0000f700 0000fb00 0000ff00|"
     "00000000 00000008 00000010 00000018 00000021 00000029 00000031 00000039 00000042 0000004a 00000052 0000005a 00000063 0000006b 00000073 0000007b 00000084 0000008c 00000094 0000009c 000000a5 000000ad 000000b5 000000bd 000000c6 000000ce 000000d6 000000de 000000e7 000000ef 000000f7 000000ff 00000000 00000008 00000010 00000018 00000021 00000029 00000031 00000039 00000042 0000004a 00000052 0000005a 00000063 0000006b 00000073 0000007b 00000084 0000008c 00000094 0000009c 000000a5 000000ad 000000b5 000000bd 000000c6 000000ce 000000d6 000000de 000000e7 000000ef 000000f7 000000ff"},
    {"16bpp BI_BITFIELDS with 555 masks 4x1: 7C00 03E0 001F 4210", 1,
     "00ff0000 0000ff00 000000ff 00848484"},
    {"24bpp 3x2 bottom-up", 2,
     "00123456 00000000 00ffffff|"
     "00ff0000 0000ff00 000000ff"},
    {"24bpp 3x-2 top-down", 2,
     "00ff0000 0000ff00 000000ff|"
     "00123456 00000000 00ffffff"},
    {"32bpp BI_RGB 3x2 (alpha bytes 80,FF,01 / 00,7F,FF)", 2,
     "00123456 7f000000 ffffffff|"
     "80ff0000 ff00ff00 010000ff"},
    {"32bpp BI_BITFIELDS masks FF0000/FF00/FF, same data", 2,
     "00123456 7f000000 ffffffff|"
     "80ff0000 ff00ff00 010000ff"},
    {"32bpp BI_BITFIELDS masks R=FF G=FF00 B=FF0000 (swapped), same data", 2,
     "00563412 00000000 00ffffff|"
     "000000ff 0000ff00 00ff0000"},
    {"32bpp BI_BITFIELDS 10:10:10 masks: 3FF00000 000FFC00 000003FF / 20080200 0 FFFFFFFF", 2,
     "00808080 00000000 00ffffff|"
     "00ff0000 0000ff00 000000ff"},
    {"RLE8 8x4 bottom-up, biSizeImage = data size", 4,
     "000c40c0 000c40c0 000c40c0 000c40c0 000c40c0 000c40c0 000c40c0 000c40c0|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 000b40c0 000b40c0 a5a5a5a5 a5a5a5a5|"
     "000a40c0 000a40c0 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000540c0 000540c0 000540c0 000740c0 000840c0 000940c0 a5a5a5a5 a5a5a5a5"},
    {"RLE8 8x4 bottom-up, biSizeImage = 0", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"RLE8 8x-4 (negative height)", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"RLE8 8x4: run of 12 in an 8-wide row, EOL, run 2x7, EOB", 4,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000740c0 000740c0 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000640c0 000640c0 000640c0 000640c0 000640c0 000640c0 000640c0 000640c0"},
    {"RLE8 8x4: runs 4x6 4x7 4x8 without EOL/EOB", 4,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"RLE4 8x3 bottom-up", 3,
     "000740c0 000840c0 000740c0 000840c0 000740c0 000840c0 000740c0 000840c0|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 000640c0 000640c0 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000140c0 000240c0 000140c0 000240c0 000140c0 000340c0 000440c0 000540c0"},
    {"2bpp BI_RGB", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"0bpp BI_RGB", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp BI_BITFIELDS", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"8bpp with BI_RLE4", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp BI_JPEG", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp BI_PNG", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp biPlanes=2", 2,
     "00000000 00000000 00000000 00000000|"
     "00000000 00000000 00000000 00000000"},
    {"24bpp biPlanes=0", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp biSize=20", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp biSize=64 (OS/2 2.x size)", 2,
     "00000000 00000000 00000000 00000000|"
     "00000000 00000000 00000000 00000000"},
    {"24bpp biSize=108 (V4 size, rest zero)", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"24bpp biSize=124 (V5 size, rest zero)", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"24bpp biSize=52", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"24bpp biSize=41", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"24bpp biSize=200", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"24bpp biWidth=0", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp biHeight=0 (lines=2)", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp biWidth=-4", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp 4x2 lines=0", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp 4x2 lines=5 (> height)", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"24bpp 4x2 start=1 lines=1", 1,
     "00010203 00020406 00030609 0004080c|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp 4x2 into a 6x3 bitmap", 2,
     "00050a0f 00060c12 00070e15 00081018 a5a5a5a5 a5a5a5a5|"
     "00010203 00020406 00030609 0004080c a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp 4x2 into a 3x1 bitmap", 2,
     "00050a0f 00060c12 00070e15"},
    {"24bpp 4x3 into a 4x2 bitmap (DIB taller)", 3,
     "0009121b 000a141e 000b1621 000c1824|"
     "00050a0f 00060c12 00070e15 00081018"},
    {"24bpp biPlanes=2 (with data 0x010203*(i+1))", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"24bpp biSize=64 (with data)", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"24bpp biSize=16 (OS/2 2.x short)", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp biSize=39", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp-looking BITMAPINFOHEADER but biSize=12 (read as core header: width=4|height<<16?)", 0,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"24bpp BITMAPCOREHEADER 4x2", 2,
     "00050a0f 00060c12 00070e15 00081018|"
     "00010203 00020406 00030609 0004080c"},
    {"32bpp BITMAPCOREHEADER 4x2", 2,
     "57050a0f 02060c12 ad070e15 58081018|"
     "ab010203 56020406 01030609 ac04080c"},
    {"16bpp BITMAPCOREHEADER 4x2 (values 7C00>>i)", 2,
     "0008f700 0000ff00 00007b84 000039c6|"
     "00ff0000 007b8400 0039c600 0018e700"},
    {"V5 (124) 32bpp BI_BITFIELDS, header masks R=FF G=FF00 B=FF0000 A=FF000000; masks after header say the opposite", 1,
     "00ff0000 0000ff00 000000ff"},
    {"same with bV5Size=108 (V4)", 1,
     "00ff0000 0000ff00 000000ff"},
    {"same with biSize=40 (masks after header: FF0000 FF00 FF)", 1,
     "00ff0000 0000ff00 000000ff"},
    {"V5 16bpp BI_BITFIELDS 565 in header: F800 07E0 001F", 1,
     "00ff0000 0000ff00 000000ff"},
    {"V5 8bpp, biClrUsed=2, table after the 124-byte header {112233,445566}, pixels 0 1 2", 1,
     "00112233 00445566 00000000"},
    {"RLE8 first example with biSizeImage=6 (truncated stream)", 4,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"RLE8 first example with biSizeImage=1000 (larger than data)", 4,
     "000c40c0 000c40c0 000c40c0 000c40c0 000c40c0 000c40c0 000c40c0 000c40c0|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 000b40c0 000b40c0 a5a5a5a5 a5a5a5a5|"
     "000a40c0 000a40c0 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000540c0 000540c0 000540c0 000740c0 000840c0 000940c0 a5a5a5a5 a5a5a5a5"},
    {"RLE8 8x4: runs 4x6 4x7 4x8 then EOB (no EOL)", 4,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000640c0 000640c0 000640c0 000640c0 000740c0 000740c0 000740c0 000740c0"},
    {"RLE8 8x4: 4x6 EOL 4x7 EOL, then data ends (no EOB)", 4,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000740c0 000740c0 000740c0 000740c0 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000640c0 000640c0 000640c0 000640c0 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
    {"RLE8 8x4 biClrUsed=4: runs 2x1 2x3 2x9 2x200, EOB", 4,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000140c0 000140c0 000340c0 000340c0 00000000 00000000 00000000 00000000"},
    {"RLE8 8x4: 2x1, delta(+200,0), 2x3, EOB", 4,
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5|"
     "000140c0 000140c0 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5 a5a5a5a5"},
};

// A DIB as the test builds it: the header with what follows it, and the bits.
struct Dib {
    std::vector<unsigned char> header = std::vector<unsigned char>(2048, 0);
    std::vector<unsigned char> bits = std::vector<unsigned char>(65536, 0);
    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(header.data()); }
    void Put32(size_t at, uint32_t value) { PutU32Le(header.data() + at, value); }
};

// Table entry i is {B=C0, G=40, R=i, reserved=77} after an info header and
// {B=C1, G=41, R=i} after a core header.
void InfoHeader(Dib* d, int32_t w, int32_t h, int bpp, uint32_t compression, int colours,
                uint32_t colours_used = 0, uint32_t image_size = 0) {
    *d = Dib();
    unsigned char* p = d->header.data();
    PutU32Le(p, 40);
    PutU32Le(p + 4, static_cast<uint32_t>(w));
    PutU32Le(p + 8, static_cast<uint32_t>(h));
    PutU16Le(p + 12, 1);
    PutU16Le(p + 14, static_cast<uint16_t>(bpp));
    PutU32Le(p + 16, compression);
    PutU32Le(p + 20, image_size);
    PutU32Le(p + 32, colours_used);
    for (int i = 0; i < colours; i++) {
        unsigned char* q = p + 40 + 4 * i;
        q[0] = 0xC0, q[1] = 0x40, q[2] = static_cast<unsigned char>(i), q[3] = 0x77;
    }
}

void CoreHeader(Dib* d, int w, int h, int bpp, int colours) {
    *d = Dib();
    unsigned char* p = d->header.data();
    PutU32Le(p, 12);
    PutU16Le(p + 4, static_cast<uint16_t>(w));
    PutU16Le(p + 6, static_cast<uint16_t>(h));
    PutU16Le(p + 8, 1);
    PutU16Le(p + 10, static_cast<uint16_t>(bpp));
    for (int i = 0; i < colours; i++) {
        unsigned char* q = p + 12 + 3 * i;
        q[0] = 0xC1, q[1] = 0x41, q[2] = static_cast<unsigned char>(i);
    }
}

int Stride(int w, int bpp) {
    return (w * bpp + 31) / 32 * 4;
}

// Pixel value v at x of stored row r.
void Put(Dib* d, int w, int bpp, int x, int r, uint32_t v) {
    unsigned char* row = d->bits.data() + r * Stride(w, bpp);
    switch (bpp) {
        case 1:
            row[x / 8] = static_cast<unsigned char>(v ? row[x / 8] | (0x80 >> (x % 8)) : row[x / 8] & ~(0x80 >> (x % 8)));
            break;
        case 4:
            row[x / 2] = static_cast<unsigned char>(x & 1 ? (row[x / 2] & 0xF0) | v : (row[x / 2] & 0x0F) | (v << 4));
            break;
        case 8:
            row[x] = static_cast<unsigned char>(v);
            break;
        case 16:
            PutU16Le(row + 2 * x, static_cast<uint16_t>(v));
            break;
        case 24:
            row[3 * x] = static_cast<unsigned char>(v), row[3 * x + 1] = static_cast<unsigned char>(v >> 8);
            row[3 * x + 2] = static_cast<unsigned char>(v >> 16);
            break;
        case 32:
            PutU32Le(row + 4 * x, v);
            break;
    }
}

void SetSize(Dib* d, uint32_t size) { d->Put32(0, size); }
void SetRle(Dib* d, std::initializer_list<unsigned char> stream, uint32_t image_size) {
    std::copy(stream.begin(), stream.end(), d->bits.begin());
    d->Put32(20, image_size);
}

void Pattern1(Dib* d) {
    for (int r = 0; r < 3; r++)
        for (int x = 0; x < 10; x++) Put(d, 10, 1, x, r, (x + r) % 3 == 0);
}
void Pattern4(Dib* d) {
    for (int r = 0; r < 4; r++)
        for (int x = 0; x < 5; x++) Put(d, 5, 4, x, r, (r * 5 + x) & 15);
}
void Pattern8(Dib* d) {
    const int index[3][6] = {{0, 1, 2, 3, 4, 5}, {6, 7, 8, 100, 200, 255}, {3, 2, 1, 0, 9, 10}};
    for (int r = 0; r < 3; r++)
        for (int x = 0; x < 6; x++) Put(d, 6, 8, x, r, index[r][x]);
}
void Pattern24(Dib* d, int w, int rows) {
    for (int i = 0; i < w * rows; i++) Put(d, w, 24, i % w, i / w, 0x010203u * (i + 1));
}
void Pattern32(Dib* d) {
    const uint32_t words[6] = {0x80FF0000, 0xFF00FF00, 0x010000FF, 0x00123456, 0x7F000000, 0xFFFFFFFF};
    for (int i = 0; i < 6; i++) Put(d, 3, 32, i % 3, i / 3, words[i]);
}
void Masks(Dib* d, uint32_t r, uint32_t g, uint32_t b) {
    d->Put32(40, r), d->Put32(44, g), d->Put32(48, b);
}
const std::initializer_list<unsigned char> kRle8 = {3, 5, 0, 3, 7, 8, 9, 0, 0, 0, 2, 10, 0, 2, 2, 1, 2, 11, 0, 0, 8, 12, 0, 1};

void V5Bitfields(Dib* d, uint32_t size) {
    *d = Dib();
    d->Put32(0, size), d->Put32(4, 3), d->Put32(8, 1);
    PutU16Le(d->header.data() + 12, 1);
    PutU16Le(d->header.data() + 14, 32);
    d->Put32(16, BI_BITFIELDS);
    Masks(d, 0xFF, 0xFF00, 0xFF0000);
    d->Put32(52, 0xFF000000);
    d->Put32(124, 0xFF0000), d->Put32(128, 0xFF00), d->Put32(132, 0xFF);
    Put(d, 3, 32, 0, 0, 0x800000FF), Put(d, 3, 32, 1, 0, 0x4000FF00), Put(d, 3, 32, 2, 0, 0x20FF0000);
}

struct UploadCase {
    const char* name;
    void (*build)(Dib* d);
    int width, height;  // the bitmap's
    UINT start, lines;
};

const UploadCase kCases[] = {
    {"1bpp BITMAPINFOHEADER 10x3 bottom-up, 2 colours", [](Dib* d) { InfoHeader(d, 10, 3, 1, BI_RGB, 2); Pattern1(d); }, 10, 3, 0, 3},
    {"1bpp BITMAPINFOHEADER 10x-3 top-down", [](Dib* d) { InfoHeader(d, 10, -3, 1, BI_RGB, 2); Pattern1(d); }, 10, 3, 0, 3},
    {"1bpp BITMAPCOREHEADER 10x3 (RGBTRIPLE table)", [](Dib* d) { CoreHeader(d, 10, 3, 1, 2); Pattern1(d); }, 10, 3, 0, 3},
    {"4bpp BITMAPINFOHEADER 5x4, 16 colours", [](Dib* d) { InfoHeader(d, 5, 4, 4, BI_RGB, 16); Pattern4(d); }, 5, 4, 0, 4},
    {"4bpp BITMAPINFOHEADER 5x4, biClrUsed=6 (indices 6..15 out of range)", [](Dib* d) { InfoHeader(d, 5, 4, 4, BI_RGB, 16, 6); Pattern4(d); }, 5, 4, 0, 4},
    {"4bpp BITMAPCOREHEADER 5x4", [](Dib* d) { CoreHeader(d, 5, 4, 4, 16); Pattern4(d); }, 5, 4, 0, 4},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=0 (256 entries)", [](Dib* d) { InfoHeader(d, 6, 3, 8, BI_RGB, 256); Pattern8(d); }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=4 (table of 4, bytes after it = 0xEE)", [](Dib* d) {
         InfoHeader(d, 6, 3, 8, BI_RGB, 4, 4);
         memset(d->header.data() + 56, 0xEE, 1024);
         Pattern8(d);
     }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=4 (bytes after table = 0)", [](Dib* d) { InfoHeader(d, 6, 3, 8, BI_RGB, 4, 4); Pattern8(d); }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=300 (> 256)", [](Dib* d) { InfoHeader(d, 6, 3, 8, BI_RGB, 256, 300); Pattern8(d); }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x3, biClrUsed=0 biClrImportant=3", [](Dib* d) {
         InfoHeader(d, 6, 3, 8, BI_RGB, 256);
         d->Put32(36, 3);
         Pattern8(d);
     }, 6, 3, 0, 3},
    {"8bpp BITMAPCOREHEADER 6x3", [](Dib* d) { CoreHeader(d, 6, 3, 8, 256); Pattern8(d); }, 6, 3, 0, 3},
    {"8bpp BITMAPINFOHEADER 6x-3 top-down", [](Dib* d) { InfoHeader(d, 6, -3, 8, BI_RGB, 256); Pattern8(d); }, 6, 3, 0, 3},
    {"16bpp BI_RGB (555) 32x3", [](Dib* d) {
         InfoHeader(d, 32, 3, 16, BI_RGB, 0);
         for (uint32_t x = 0; x < 32; x++) Put(d, 32, 16, x, 2, x << 10), Put(d, 32, 16, x, 1, x << 5), Put(d, 32, 16, x, 0, x | 0x8000);
     }, 32, 3, 0, 3},
    {"16bpp BI_BITFIELDS 565 64x3", [](Dib* d) {
         InfoHeader(d, 64, 3, 16, BI_BITFIELDS, 0);
         Masks(d, 0xF800, 0x07E0, 0x001F);
         for (uint32_t x = 0; x < 64; x++) Put(d, 64, 16, x, 2, (x & 31) << 11), Put(d, 64, 16, x, 1, x << 5), Put(d, 64, 16, x, 0, x & 31);
     }, 64, 3, 0, 3},
    {"16bpp BI_BITFIELDS with 555 masks 4x1: 7C00 03E0 001F 4210", [](Dib* d) {
         InfoHeader(d, 4, 1, 16, BI_BITFIELDS, 0);
         Masks(d, 0x7C00, 0x03E0, 0x001F);
         Put(d, 4, 16, 0, 0, 0x7C00), Put(d, 4, 16, 1, 0, 0x03E0), Put(d, 4, 16, 2, 0, 0x001F), Put(d, 4, 16, 3, 0, 0x4210);
     }, 4, 1, 0, 1},
    {"24bpp 3x2 bottom-up", [](Dib* d) {
         InfoHeader(d, 3, 2, 24, BI_RGB, 0);
         Put(d, 3, 24, 0, 0, 0xFF0000), Put(d, 3, 24, 1, 0, 0x00FF00), Put(d, 3, 24, 2, 0, 0x0000FF);
         Put(d, 3, 24, 0, 1, 0x123456), Put(d, 3, 24, 2, 1, 0xFFFFFF);
     }, 3, 2, 0, 2},
    {"24bpp 3x-2 top-down", [](Dib* d) {
         InfoHeader(d, 3, -2, 24, BI_RGB, 0);
         Put(d, 3, 24, 0, 0, 0xFF0000), Put(d, 3, 24, 1, 0, 0x00FF00), Put(d, 3, 24, 2, 0, 0x0000FF);
         Put(d, 3, 24, 0, 1, 0x123456), Put(d, 3, 24, 2, 1, 0xFFFFFF);
     }, 3, 2, 0, 2},
    {"32bpp BI_RGB 3x2 (alpha bytes 80,FF,01 / 00,7F,FF)", [](Dib* d) { InfoHeader(d, 3, 2, 32, BI_RGB, 0); Pattern32(d); }, 3, 2, 0, 2},
    {"32bpp BI_BITFIELDS masks FF0000/FF00/FF, same data", [](Dib* d) {
         InfoHeader(d, 3, 2, 32, BI_BITFIELDS, 0);
         Masks(d, 0xFF0000, 0xFF00, 0xFF);
         Pattern32(d);
     }, 3, 2, 0, 2},
    {"32bpp BI_BITFIELDS masks R=FF G=FF00 B=FF0000 (swapped), same data", [](Dib* d) {
         InfoHeader(d, 3, 2, 32, BI_BITFIELDS, 0);
         Masks(d, 0xFF, 0xFF00, 0xFF0000);
         Pattern32(d);
     }, 3, 2, 0, 2},
    {"32bpp BI_BITFIELDS 10:10:10 masks: 3FF00000 000FFC00 000003FF / 20080200 0 FFFFFFFF", [](Dib* d) {
         InfoHeader(d, 3, 2, 32, BI_BITFIELDS, 0);
         Masks(d, 0x3FF00000, 0xFFC00, 0x3FF);
         Put(d, 3, 32, 0, 0, 0x3FF00000), Put(d, 3, 32, 1, 0, 0x000FFC00), Put(d, 3, 32, 2, 0, 0x000003FF);
         Put(d, 3, 32, 0, 1, 0x20080200), Put(d, 3, 32, 2, 1, 0xFFFFFFFF);
     }, 3, 2, 0, 2},
    {"RLE8 8x4 bottom-up, biSizeImage = data size", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, kRle8, 24); }, 8, 4, 0, 4},
    {"RLE8 8x4 bottom-up, biSizeImage = 0", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, kRle8, 0); }, 8, 4, 0, 4},
    {"RLE8 8x-4 (negative height)", [](Dib* d) { InfoHeader(d, 8, -4, 8, BI_RLE8, 256); SetRle(d, kRle8, 24); }, 8, 4, 0, 4},
    {"RLE8 8x4: run of 12 in an 8-wide row, EOL, run 2x7, EOB", [](Dib* d) {
         InfoHeader(d, 8, 4, 8, BI_RLE8, 256);
         SetRle(d, {12, 6, 0, 0, 2, 7, 0, 1}, 8);
     }, 8, 4, 0, 4},
    {"RLE8 8x4: runs 4x6 4x7 4x8 without EOL/EOB", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, {4, 6, 4, 7, 4, 8}, 6); }, 8, 4, 0, 4},
    {"RLE4 8x3 bottom-up", [](Dib* d) {
         InfoHeader(d, 8, 3, 4, BI_RLE4, 16);
         SetRle(d, {5, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 3, 0, 2, 0x66, 0, 0, 8, 0x78, 0, 1}, 20);
     }, 8, 3, 0, 3},
    {"2bpp BI_RGB", [](Dib* d) { InfoHeader(d, 4, 2, 2, BI_RGB, 4); }, 4, 2, 0, 2},
    {"0bpp BI_RGB", [](Dib* d) { InfoHeader(d, 4, 2, 0, BI_RGB, 0); }, 4, 2, 0, 2},
    {"24bpp BI_BITFIELDS", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_BITFIELDS, 0); }, 4, 2, 0, 2},
    {"8bpp with BI_RLE4", [](Dib* d) { InfoHeader(d, 4, 2, 8, BI_RLE4, 256); }, 4, 2, 0, 2},
    {"24bpp BI_JPEG", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_JPEG, 0); }, 4, 2, 0, 2},
    {"24bpp BI_PNG", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_PNG, 0); }, 4, 2, 0, 2},
    {"24bpp biPlanes=2", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); PutU16Le(d->header.data() + 12, 2); }, 4, 2, 0, 2},
    {"24bpp biPlanes=0", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); PutU16Le(d->header.data() + 12, 0); }, 4, 2, 0, 2},
    {"24bpp biSize=20", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 20); }, 4, 2, 0, 2},
    {"24bpp biSize=64 (OS/2 2.x size)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 64); }, 4, 2, 0, 2},
    {"24bpp biSize=108 (V4 size, rest zero)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 108); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=124 (V5 size, rest zero)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 124); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=52", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 52); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=41", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 41); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=200", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 200); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biWidth=0", [](Dib* d) { InfoHeader(d, 0, 2, 24, BI_RGB, 0); }, 4, 2, 0, 2},
    {"24bpp biHeight=0 (lines=2)", [](Dib* d) { InfoHeader(d, 4, 0, 24, BI_RGB, 0); }, 4, 2, 0, 2},
    {"24bpp biWidth=-4", [](Dib* d) { InfoHeader(d, -4, 2, 24, BI_RGB, 0); }, 4, 2, 0, 2},
    {"24bpp 4x2 lines=0", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 4, 2, 0, 0},
    {"24bpp 4x2 lines=5 (> height)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 4, 2, 0, 5},
    {"24bpp 4x2 start=1 lines=1", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 4, 2, 1, 1},
    {"24bpp 4x2 into a 6x3 bitmap", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 6, 3, 0, 2},
    {"24bpp 4x2 into a 3x1 bitmap", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); Pattern24(d, 4, 2); }, 3, 1, 0, 2},
    {"24bpp 4x3 into a 4x2 bitmap (DIB taller)", [](Dib* d) { InfoHeader(d, 4, 3, 24, BI_RGB, 0); Pattern24(d, 4, 3); }, 4, 2, 0, 3},
    {"24bpp biPlanes=2 (with data 0x010203*(i+1))", [](Dib* d) {
         InfoHeader(d, 4, 2, 24, BI_RGB, 0);
         PutU16Le(d->header.data() + 12, 2);
         Pattern24(d, 4, 2);
     }, 4, 2, 0, 2},
    {"24bpp biSize=64 (with data)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 64); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=16 (OS/2 2.x short)", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 16); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp biSize=39", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 39); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"24bpp-looking BITMAPINFOHEADER but biSize=12 (read as core header: width=4|height<<16?)", [](Dib* d) {
         InfoHeader(d, 4, 2, 24, BI_RGB, 0);
         SetSize(d, 12);
         Pattern24(d, 4, 2);
     }, 4, 2, 0, 2},
    {"24bpp BITMAPCOREHEADER 4x2", [](Dib* d) { CoreHeader(d, 4, 2, 24, 0); Pattern24(d, 4, 2); }, 4, 2, 0, 2},
    {"32bpp BITMAPCOREHEADER 4x2", [](Dib* d) {
         CoreHeader(d, 4, 2, 32, 0);
         for (uint32_t i = 0; i < 8; i++) Put(d, 4, 32, i % 4, i / 4, 0xAB010203u * (i + 1));
     }, 4, 2, 0, 2},
    {"16bpp BITMAPCOREHEADER 4x2 (values 7C00>>i)", [](Dib* d) {
         CoreHeader(d, 4, 2, 16, 0);
         for (int i = 0; i < 8; i++) Put(d, 4, 16, i % 4, i / 4, 0x7C00u >> i);
     }, 4, 2, 0, 2},
    {"V5 (124) 32bpp BI_BITFIELDS, header masks R=FF G=FF00 B=FF0000 A=FF000000; masks after header say the opposite",
     [](Dib* d) { V5Bitfields(d, 124); }, 3, 1, 0, 1},
    {"same with bV5Size=108 (V4)", [](Dib* d) { V5Bitfields(d, 108); }, 3, 1, 0, 1},
    {"same with biSize=40 (masks after header: FF0000 FF00 FF)", [](Dib* d) { V5Bitfields(d, 40); }, 3, 1, 0, 1},
    {"V5 16bpp BI_BITFIELDS 565 in header: F800 07E0 001F", [](Dib* d) {
         V5Bitfields(d, 124);
         PutU16Le(d->header.data() + 14, 16);
         Masks(d, 0xF800, 0x07E0, 0x1F);
         d->Put32(52, 0);
         std::fill(d->bits.begin(), d->bits.begin() + 64, 0);
         Put(d, 3, 16, 0, 0, 0xF800), Put(d, 3, 16, 1, 0, 0x07E0), Put(d, 3, 16, 2, 0, 0x001F);
     }, 3, 1, 0, 1},
    {"V5 8bpp, biClrUsed=2, table after the 124-byte header {112233,445566}, pixels 0 1 2", [](Dib* d) {
         V5Bitfields(d, 124);
         PutU16Le(d->header.data() + 14, 8);
         d->Put32(16, BI_RGB);
         d->Put32(32, 2);
         d->Put32(124, 0x00112233), d->Put32(128, 0x00445566);
         d->bits[0] = 0, d->bits[1] = 1, d->bits[2] = 2;
     }, 3, 1, 0, 1},
    {"RLE8 first example with biSizeImage=6 (truncated stream)", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, kRle8, 6); }, 8, 4, 0, 4},
    {"RLE8 first example with biSizeImage=1000 (larger than data)", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, kRle8, 1000); }, 8, 4, 0, 4},
    {"RLE8 8x4: runs 4x6 4x7 4x8 then EOB (no EOL)", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, {4, 6, 4, 7, 4, 8, 0, 1}, 8); }, 8, 4, 0, 4},
    {"RLE8 8x4: 4x6 EOL 4x7 EOL, then data ends (no EOB)", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, {4, 6, 0, 0, 4, 7, 0, 0}, 8); }, 8, 4, 0, 4},
    {"RLE8 8x4 biClrUsed=4: runs 2x1 2x3 2x9 2x200, EOB", [](Dib* d) {
         InfoHeader(d, 8, 4, 8, BI_RLE8, 4, 4);
         SetRle(d, {2, 1, 2, 3, 2, 9, 2, 200, 0, 1}, 10);
     }, 8, 4, 0, 4},
    {"RLE8 8x4: 2x1, delta(+200,0), 2x3, EOB", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 256); SetRle(d, {2, 1, 0, 2, 200, 0, 2, 3, 0, 1}, 10); }, 8, 4, 0, 4},
};

const Observed* FindObserved(const char* name) {
    for (const Observed& o : kObserved)
        if (strcmp(o.name, name) == 0) return &o;
    return nullptr;
}

std::vector<std::vector<uint32_t>> ParseRows(const char* text) {
    std::vector<std::vector<uint32_t>> rows(1);
    for (const char* p = text; *p;) {
        if (*p == '|') {
            rows.emplace_back();
            p++;
        } else if (*p == ' ') {
            p++;
        } else {
            char* end = nullptr;
            rows.back().push_back(static_cast<uint32_t>(strtoul(p, &end, 16)));
            p = end;
        }
    }
    return rows;
}

struct Target {
    HDC screen;
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    int width;
    int height;
};

// A screen-compatible bitmap selected into a memory context, every word set to `fill`.
void MakeTarget(Target* t, int width, int height, uint32_t fill) {
    t->screen = GetDC(nullptr);
    t->dc = CreateCompatibleDC(t->screen);
    t->bitmap = CreateCompatibleBitmap(t->screen, width, height);
    t->previous = SelectObject(t->dc, t->bitmap);
    t->width = width;
    t->height = height;
    Dib fill_dib;
    InfoHeader(&fill_dib, width, -height, 32, BI_RGB, 0);
    for (int i = 0; i < width * height; i++) Put(&fill_dib, width, 32, i % width, i / width, fill);
    ASSERT_EQ(SetDIBits(t->dc, t->bitmap, 0, static_cast<UINT>(height), fill_dib.bits.data(), fill_dib.Info(),
                        DIB_RGB_COLORS), height);
}

std::vector<uint32_t> Words(const Target* t) {
    std::vector<uint32_t> words(static_cast<size_t>(t->width) * t->height);
    GetBitmapBits(t->bitmap, static_cast<LONG>(words.size() * 4), words.data());
    return words;
}

void FreeTarget(Target* t) {
    SelectObject(t->dc, t->previous);
    DeleteObject(t->bitmap);
    DeleteDC(t->dc);
    ReleaseDC(nullptr, t->screen);
}

TEST(DibUpload, MatchesEveryObservedForm) {
    ASSERT_EQ(sizeof kCases / sizeof kCases[0], sizeof kObserved / sizeof kObserved[0]) << "a form is not tried";
    for (const UploadCase& c : kCases) {
        SCOPED_TRACE(c.name);
        const Observed* seen = FindObserved(c.name);
        ASSERT_NE(seen, nullptr);
        Dib dib;
        c.build(&dib);
        Target t;
        MakeTarget(&t, c.width, c.height, 0xA5A5A5A5);
        int result = SetDIBits(t.dc, t.bitmap, c.start, c.lines, dib.bits.data(), dib.Info(), DIB_RGB_COLORS);
        EXPECT_EQ(result, seen->result);
        std::vector<uint32_t> words = Words(&t);
        std::vector<std::vector<uint32_t>> rows = ParseRows(seen->rows);
        ASSERT_EQ(rows.size(), static_cast<size_t>(c.height));
        for (int y = 0; y < c.height; y++) {
            ASSERT_EQ(rows[y].size(), static_cast<size_t>(c.width));
            for (int x = 0; x < c.width; x++)
                EXPECT_EQ(words[static_cast<size_t>(y) * c.width + x], rows[y][x]) << "pixel " << x << "," << y;
        }
        FreeTarget(&t);
    }
    EXPECT_NOTHING_LIVE();
}

// A refused form leaves the error code ERROR_INVALID_PARAMETER; so does a
// channel mask of zero, which the reference refuses too.
TEST(DibUpload, RefusalsSetTheErrorCode) {
    struct Refusal {
        const char* name;
        void (*build)(Dib* d);
    };
    const Refusal refusals[] = {
        {"2 bpp", [](Dib* d) { InfoHeader(d, 4, 2, 2, BI_RGB, 4); }},
        {"RLE8 upside down", [](Dib* d) { InfoHeader(d, 8, -4, 8, BI_RLE8, 256); SetRle(d, kRle8, 24); }},
        {"blue mask 0", [](Dib* d) { InfoHeader(d, 4, 2, 16, BI_BITFIELDS, 0); Masks(d, 0xFF00, 0xFF, 0); }},
        {"red mask 0 at 32 bpp", [](Dib* d) { InfoHeader(d, 4, 2, 32, BI_BITFIELDS, 0); Masks(d, 0, 0xFF00, 0xFF); }},
        {"alpha bit fields", [](Dib* d) { InfoHeader(d, 4, 2, 32, 6, 0); Masks(d, 0xFF0000, 0xFF00, 0xFF); }},
        {"64 bpp", [](Dib* d) { InfoHeader(d, 4, 2, 64, BI_RGB, 0); }},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        Dib dib;
        r.build(&dib);
        Target t;
        MakeTarget(&t, 4, 2, 0xA5A5A5A5);
        SetLastError(0);
        EXPECT_EQ(SetDIBits(t.dc, t.bitmap, 0, 2, dib.bits.data(), dib.Info(), DIB_RGB_COLORS), 0);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        for (uint32_t word : Words(&t)) EXPECT_EQ(word, 0xA5A5A5A5u);
        FreeTarget(&t);
    }
    EXPECT_NOTHING_LIVE();
}

// Odd masks as the reference widens them: the bits from the lowest set bit of
// the mask up to its first gap, put at the top of the byte and repeated once.
TEST(DibUpload, NarrowAndUnusualMasks) {
    struct MaskCase {
        uint32_t masks[3];
        uint16_t pixel;
        uint32_t word;
    };
    const MaskCase cases[] = {
        {{0x30, 0x0E, 0x01}, 0x3F, 0x00F0FCC0},       // 2, 3 and 1 bits: 3 -> F0|3C, 7 -> E0|1C, 1 -> 80|40
        {{0x0F00, 0x00F0, 0x000F}, 0x0A5F, 0x00AA55FF},  // 4 bits each
        {{0x5, 0x2, 0x8}, 0x000F, 0x00C0C0C0},       // 0x5: one bit at the bottom, the gap ends the field
        {{0xF800, 0xFC00, 0x1F}, 0x8421, 0x00848608},  // overlapping masks each take their own bits
    };
    for (const MaskCase& m : cases) {
        Dib dib;
        InfoHeader(&dib, 1, 1, 16, BI_BITFIELDS, 0);
        Masks(&dib, m.masks[0], m.masks[1], m.masks[2]);
        Put(&dib, 1, 16, 0, 0, m.pixel);
        Target t;
        MakeTarget(&t, 1, 1, 0xA5A5A5A5);
        EXPECT_EQ(SetDIBits(t.dc, t.bitmap, 0, 1, dib.bits.data(), dib.Info(), DIB_RGB_COLORS), 1);
        EXPECT_EQ(Words(&t)[0], m.word) << std::hex << m.masks[0] << " " << m.masks[1] << " " << m.masks[2];
        FreeTarget(&t);
    }
    EXPECT_NOTHING_LIVE();
}

struct ExtentCase {
    const char* name;
    void (*build)(Dib* d);
    uint64_t info_bytes;
    uint64_t pixel_bytes;
    int expected;
};

const ExtentCase kExtentCases[] = {
    {"24 bpp, pixels complete", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); }, 40, 24, 0},
    {"24 bpp, one pixel byte short", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); }, 40, 23, -1},
    {"top-down counts its rows too", [](Dib* d) { InfoHeader(d, 4, -2, 24, BI_RGB, 0); }, 40, 23, -1},
    {"header cut short", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); }, 39, 24, -1},
    {"no room for the header size", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); }, 3, 24, -1},
    {"V5 header must be whole", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 124); }, 123, 24, -1},
    {"an unknown header size is not handed on", [](Dib* d) { InfoHeader(d, 4, 2, 24, BI_RGB, 0); SetSize(d, 16); }, 2048, 24, -1},
    {"8 bpp full table", [](Dib* d) { InfoHeader(d, 4, 1, 8, BI_RGB, 256); }, 40 + 1024, 4, 0},
    {"8 bpp full table, one byte short", [](Dib* d) { InfoHeader(d, 4, 1, 8, BI_RGB, 256); }, 40 + 1023, 4, -1},
    {"8 bpp short table", [](Dib* d) { InfoHeader(d, 4, 1, 8, BI_RGB, 4, 4); }, 40 + 16, 4, 0},
    {"8 bpp 300 entries read as 256", [](Dib* d) { InfoHeader(d, 4, 1, 8, BI_RGB, 256, 300); }, 40 + 1024, 4, 0},
    {"core 8 bpp table of triples", [](Dib* d) { CoreHeader(d, 4, 1, 8, 256); }, 12 + 768, 4, 0},
    {"core 8 bpp table one byte short", [](Dib* d) { CoreHeader(d, 4, 1, 8, 256); }, 12 + 767, 4, -1},
    {"table after a V4 header", [](Dib* d) { InfoHeader(d, 4, 1, 1, BI_RGB, 0); SetSize(d, 108); }, 108 + 7, 4, -1},
    {"masks after a 40-byte header", [](Dib* d) { InfoHeader(d, 2, 1, 16, BI_BITFIELDS, 0); }, 51, 4, -1},
    {"masks present", [](Dib* d) { InfoHeader(d, 2, 1, 16, BI_BITFIELDS, 0); }, 52, 4, 0},
    {"RLE stream within the data", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 0, 1, 24); }, 44, 24, 0},
    {"RLE stream longer than the data", [](Dib* d) { InfoHeader(d, 8, 4, 8, BI_RLE8, 0, 1, 25); }, 44, 24, -1},
    {"embedded JPEG longer than the data", [](Dib* d) { InfoHeader(d, 8, 4, 24, BI_JPEG, 0, 0, 1000); }, 40, 999, -1},
    {"largest picture fits 64 bits", [](Dib* d) { InfoHeader(d, 0x7FFFFFFF, 0x7FFFFFFF, 32, BI_RGB, 0); }, 40, 1ull << 40, -1},
    {"stride x rows past 64 bits", [](Dib* d) { InfoHeader(d, 0x7FFFFFFF, 0x7FFFFFFF, 0xFFFF, BI_RGB, 0); }, 40, UINT64_MAX, -1},
    {"refused sizes read no pixels", [](Dib* d) { InfoHeader(d, -4, 2, 24, BI_RGB, 0); }, 40, 0, 0},
};

TEST(DibExtent, MeasuresWhatTheUploadReads) {
    for (const ExtentCase& c : kExtentCases) {
        Dib dib;
        c.build(&dib);
        EXPECT_EQ(CheckDibExtent(dib.header.data(), c.info_bytes, c.pixel_bytes), c.expected) << c.name;
    }
}

// A file as the reader takes it: file header, the DIB header and table, pixels.
std::vector<unsigned char> BmpFile(const Dib& dib, size_t header_bytes, size_t pixel_bytes) {
    std::vector<unsigned char> file(14);
    file[0] = 'B', file[1] = 'M';
    file.insert(file.end(), dib.header.begin(), dib.header.begin() + static_cast<long>(header_bytes));
    PutU32Le(file.data() + 10, static_cast<uint32_t>(file.size()));
    file.insert(file.end(), dib.bits.begin(), dib.bits.begin() + static_cast<long>(pixel_bytes));
    PutU32Le(file.data() + 2, static_cast<uint32_t>(file.size()));
    return file;
}

TEST(DibExtent, UploadRefusesAFileThatDeclaresMoreThanItHolds) {
    TempDir dir;
    Dib dib;
    InfoHeader(&dib, 4, 3, 24, BI_RGB, 0);
    Pattern24(&dib, 4, 3);
    struct {
        size_t pixel_bytes;
        int lines;
    } cases[] = {{36, 3}, {35, 0}, {0, 0}};
    for (auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir.File("p.bmp"), BmpFile(dib, 40, c.pixel_bytes)));
        LoadedBitmap picture;
        ASSERT_EQ(LoadBmpFile(&picture, dir.File("p.bmp").c_str()), 0);
        Target t;
        MakeTarget(&t, 4, 3, 0xA5A5A5A5);
        EXPECT_EQ(UploadLoadedBitmap(t.dc, t.bitmap, &picture), c.lines) << c.pixel_bytes;
        std::vector<uint32_t> words = Words(&t);
        for (int i = 0; i < 12; i++) {
            int stored_row = 2 - i / 4;
            uint32_t expected = c.lines ? 0x010203u * static_cast<uint32_t>(stored_row * 4 + i % 4 + 1) : 0xA5A5A5A5u;
            EXPECT_EQ(words[static_cast<size_t>(i)], expected) << "pixel " << i;
        }
        FreeTarget(&t);
        FreeBmpFile(&picture);
    }
    EXPECT_NOTHING_LIVE();
}

uint64_t HashBytes(const unsigned char* bytes, size_t size) {
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < size; i++) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

// What uploading one corpus file gives, in the expectations file's words.
std::string UploadCorpusFile(const std::string& name) {
    std::string path = std::string(TEST_DATA_DIR) + "/bmpsuite/" + name;
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, path.c_str()) != 0) return "load-refused";
    int width = picture.width < 0 ? -picture.width : picture.width;
    Target t;
    t.screen = GetDC(nullptr);
    t.dc = CreateCompatibleDC(t.screen);
    t.bitmap = CreateCompatibleBitmap(t.screen, width, picture.height);
    t.previous = SelectObject(t.dc, t.bitmap);
    t.width = width;
    t.height = picture.height;
    int lines = UploadLoadedBitmap(t.dc, t.bitmap, &picture);
    std::vector<uint32_t> words = Words(&t);
    char text[96];
    snprintf(text, sizeof text, "%d %dx%d %016llx", lines, width, picture.height,
             static_cast<unsigned long long>(HashBytes(reinterpret_cast<unsigned char*>(words.data()), words.size() * 4)));
    FreeTarget(&t);
    FreeBmpFile(&picture);
    return text;
}

// Every corpus file against the recorded upload, which is what the real GDI
// gives. Good files must upload; bad ones must be refused or stay inside their
// block, which the sanitizer build checks on every read.
TEST(DibUpload, BmpSuiteCorpus) {
    std::ifstream list(std::string(TEST_DATA_DIR) + "/bmpsuite/expected_uploads.txt");
    ASSERT_TRUE(list.good());
    std::string line;
    int files = 0;
    printf("%-28s %-40s\n", "file", "result");
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t space = line.find(' ');
        ASSERT_NE(space, std::string::npos);
        std::string name = line.substr(0, space), expected = line.substr(space + 1);
        std::string got = UploadCorpusFile(name);
        const char* verdict = got == "load-refused" ? "refused by the reader"
                              : got.compare(0, 2, "0 ") == 0 ? "upload refused"
                                                              : "uploaded";
        printf("%-28s %-22s %s\n", name.c_str(), verdict, got == expected ? "as recorded" : "DIFFERENT");
        EXPECT_EQ(got, expected) << name;
        if (name.compare(0, 2, "g/") == 0) {
            EXPECT_EQ(strcmp(verdict, "uploaded"), 0) << name;
        }
        files++;
    }
    EXPECT_EQ(files, 80);
    EXPECT_NOTHING_LIVE();
}

// A picture uploaded into a bitmap that has no pixels yet is decoded only
// where a stretch picks; it must show exactly what the whole upload shows,
// also once the file's block is freed under it.
enum SourceUse { STRETCH_AT_ONCE, STRETCH_AFTER_A_READ, STRETCH_AFTER_THE_FILE_IS_FREED };

std::vector<uint32_t> StretchCorpusFile(const std::string& name, int columns, int rows, SourceUse use) {
    LoadedBitmap picture;
    if (LoadBmpFile(&picture, (std::string(TEST_DATA_DIR) + "/bmpsuite/" + name).c_str()) != 0) return {};
    Target source;
    source.screen = GetDC(nullptr);
    source.dc = CreateCompatibleDC(source.screen);
    source.bitmap = CreateCompatibleBitmap(source.screen, picture.width, picture.height);
    source.previous = SelectObject(source.dc, source.bitmap);
    const int width = picture.width, height = picture.height;
    std::vector<uint32_t> words;
    if (UploadLoadedBitmap(source.dc, source.bitmap, &picture) != 0) {
        if (use == STRETCH_AFTER_A_READ) GetPixel(source.dc, 0, 0);
        if (use == STRETCH_AFTER_THE_FILE_IS_FREED) FreeBmpFile(&picture);
        // Mirrored as the view draws, with a margin that must stay untouched.
        Target box;
        MakeTarget(&box, columns + 2, rows + 2, 0xA5A5A5A5);
        SetStretchBltMode(box.dc, COLORONCOLOR);
        StretchBlt(box.dc, 1, rows, columns, -rows, source.dc, 0, 0, width, height, SRCCOPY);
        words = Words(&box);
        FreeTarget(&box);
    }
    FreeTarget(&source);
    FreeBmpFile(&picture);
    return words;
}

TEST(DibUpload, BmpSuiteStretchesReadOnlyWhatTheyPick) {
    std::ifstream list(std::string(TEST_DATA_DIR) + "/bmpsuite/expected_uploads.txt");
    ASSERT_TRUE(list.good());
    std::string line;
    int stretched = 0;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#') continue;
        const std::string name = line.substr(0, line.find(' '));
        LoadedBitmap picture;
        if (LoadBmpFile(&picture, (std::string(TEST_DATA_DIR) + "/bmpsuite/" + name).c_str()) != 0) continue;
        const int width = picture.width, height = picture.height;
        FreeBmpFile(&picture);
        if (width <= 0 || height <= 0 || width > 4096 || height > 4096) continue;
        const int sizes[][2] = {{width, height}, {(width + 2) / 3, (height + 1) / 2}, {1, 1}, {width + 3, height + 2}};
        for (const auto& size : sizes) {
            SCOPED_TRACE(name + " in " + std::to_string(size[0]) + " x " + std::to_string(size[1]));
            const std::vector<uint32_t> whole = StretchCorpusFile(name, size[0], size[1], STRETCH_AFTER_A_READ);
            EXPECT_EQ(StretchCorpusFile(name, size[0], size[1], STRETCH_AT_ONCE), whole);
            EXPECT_EQ(StretchCorpusFile(name, size[0], size[1], STRETCH_AFTER_THE_FILE_IS_FREED), whole);
            if (!whole.empty()) stretched++;
        }
    }
    EXPECT_GT(stretched, 200);
    EXPECT_NOTHING_LIVE();
}

}  // namespace
