// What the inspector's tests share: running a program and reading what it
// wrote, and reading back the PNG files it makes.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Runs `program` with `arguments`; its exit status, or -1 when it did not
// run or was killed. Its standard output goes to `output`, or nowhere.
int RunProgram(const std::string& program, const std::vector<std::string>& arguments, std::string* output);

// An 8-bit RGB PNG as 0x00RRGGBB words, first row on top.
struct PngPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> words;
};
bool ReadPng(const std::string& path, PngPicture* picture);

// The lines of a text, without their line ends.
std::vector<std::string> SplitLines(const std::string& text);
