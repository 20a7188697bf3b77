#include "support.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bytes.h"

DrawingBuilder::DrawingBuilder(uint16_t width, uint16_t height) {
    U16(width);
    U16(height);
}

DrawingBuilder& DrawingBuilder::U16(uint16_t value) {
    bytes.push_back(static_cast<unsigned char>(value));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
    return *this;
}

DrawingBuilder& DrawingBuilder::U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    return U16(static_cast<uint16_t>(value >> 16));
}

DrawingBuilder& DrawingBuilder::Raw(std::initializer_list<unsigned char> data) {
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
}

DrawingBuilder& DrawingBuilder::Rect(uint16_t y_base, uint16_t left, uint16_t top, uint16_t right,
                                     uint16_t bottom, uint16_t colour) {
    return U16(0xFFFE).U16(y_base).U16(left).U16(top).U16(right).U16(bottom).U16(colour);
}

DrawingBuilder& DrawingBuilder::RunsHead(int16_t count, uint16_t colour, int16_t y) {
    return U16(0xFFFC).U16(static_cast<uint16_t>(count)).U16(colour).U16(0x5A5A).U16(static_cast<uint16_t>(y));
}

DrawingBuilder& DrawingBuilder::Runs(int16_t y, uint16_t colour,
                                     std::vector<std::pair<int16_t, int16_t>> runs) {
    RunsHead(static_cast<int16_t>(runs.size() + 1), colour, y);
    for (auto& run : runs) U16(static_cast<uint16_t>(run.first)).U16(static_cast<uint16_t>(run.second));
    return *this;
}

DrawingBuilder& DrawingBuilder::Raster(uint16_t y_base, uint16_t left, uint16_t top, uint16_t width,
                                       uint16_t rows, uint16_t bytes_per_row, uint16_t colour,
                                       uint32_t polarity, const std::vector<unsigned char>& data) {
    U16(0xFFFF).U16(y_base).U16(left).U16(top).U16(width).U16(rows).U16(bytes_per_row).U16(colour);
    U32(polarity);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return *this;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/blitview-test-XXXXXX";
    char* made = mkdtemp(pattern);
    path = made ? made : "";
}

static void RemoveTree(const std::string& path) {
    struct stat status;
    if (lstat(path.c_str(), &status) != 0) return;
    if (S_ISDIR(status.st_mode)) {
        for (const std::string& name : ListDirectory(path)) RemoveTree(path + "/" + name);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

TempDir::~TempDir() {
    if (!path.empty()) RemoveTree(path);
}

std::string TempDir::File(const std::string& name) const {
    return path + "/" + name;
}

bool WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return fclose(f) == 0 && ok;
}

bool ReadFileBytes(const std::string& path, std::vector<unsigned char>* bytes) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    bytes->clear();
    unsigned char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) bytes->insert(bytes->end(), buffer, buffer + n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

bool FileExists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

std::vector<std::string> ListDirectory(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (!dir) return names;
    while (dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

int CountOpenDescriptors() {
    return static_cast<int>(ListDirectory("/proc/self/fd").size());
}

bool ParseWrittenBmp(const std::vector<unsigned char>& file, WrittenBmp* bmp) {
    ByteCursor c = MakeCursor(file.data(), file.size());
    uint16_t type, reserved1, reserved2, planes;
    uint32_t header_size;
    if (ReadU16Le(&c, &type) || ReadU32Le(&c, &bmp->file_size) || ReadU16Le(&c, &reserved1) ||
        ReadU16Le(&c, &reserved2) || ReadU32Le(&c, &bmp->pixel_offset) || ReadU32Le(&c, &header_size) ||
        ReadI32Le(&c, &bmp->width) || ReadI32Le(&c, &bmp->height) || ReadU16Le(&c, &planes) ||
        ReadU16Le(&c, &bmp->bit_count))
        return false;
    if (type != 0x4D42 || bmp->bit_count != 32 || bmp->width <= 0 || bmp->height <= 0) return false;
    size_t count = static_cast<size_t>(bmp->width) * bmp->height;
    if (bmp->pixel_offset > file.size() || (file.size() - bmp->pixel_offset) / 4 < count) return false;
    bmp->pixels.resize(count);
    ByteCursor p = MakeCursor(file.data() + bmp->pixel_offset, count * 4);
    for (size_t i = 0; i < count; i++) ReadU32Le(&p, &bmp->pixels[i]);
    return true;
}

bool ReadWordGrids(const std::string& path, std::vector<WordGrid>* grids) {
    FILE* f = fopen(path.c_str(), "r");
    if (!f) return false;
    grids->clear();
    bool ok = true;
    char line[4096];
    while (ok && fgets(line, sizeof line, f)) {
        if (line[0] == '#' || line[0] == '\n') continue;
        if (line[0] == '@') {
            int result, name_at = 0;
            ok = sscanf(line, "@ %d %n", &result, &name_at) == 1 && name_at > 0;
            if (!ok) break;
            std::string name = line + name_at;
            name.erase(name.find_last_not_of("\r\n") + 1);
            grids->push_back({name, result, {}});
            continue;
        }
        ok = !grids->empty();
        if (!ok) break;
        std::vector<uint32_t> row;
        for (char* p = line; ok;) {
            while (*p == ' ') p++;
            if (*p == '\n' || *p == '\r' || *p == '\0') break;
            char* end = nullptr;
            row.push_back(static_cast<uint32_t>(strtoul(p, &end, 16)));
            ok = end != p;
            p = end;
        }
        grids->back().rows.push_back(row);
    }
    bool read = !ferror(f);
    fclose(f);
    return ok && read;
}

uint32_t Word(COLORREF colour) {
    return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

std::vector<unsigned char> MakeRunLengthBmp(int width, int height) {
    const uint32_t offset = 14 + 40 + 256 * 4;
    std::vector<unsigned char> file(offset);
    for (int row = 0; row < height; row++) {
        for (int column = 0; column < width; column += 255) {
            file.push_back(static_cast<unsigned char>(width - column < 255 ? width - column : 255));
            file.push_back(static_cast<unsigned char>(RunLengthIndex(column, row)));
        }
        file.insert(file.end(), {0, 0});  // end of line
    }
    file.insert(file.end(), {0, 1});  // end of bitmap
    unsigned char* p = file.data();
    p[0] = 'B';
    p[1] = 'M';
    PutU32Le(p + 2, static_cast<uint32_t>(file.size()));
    PutU32Le(p + 10, offset);
    PutU32Le(p + 14, 40);
    PutU32Le(p + 18, static_cast<uint32_t>(width));
    PutU32Le(p + 22, static_cast<uint32_t>(height));
    PutU16Le(p + 26, 1);
    PutU16Le(p + 28, 8);
    PutU32Le(p + 30, BI_RLE8);
    PutU32Le(p + 34, static_cast<uint32_t>(file.size() - offset));
    PutU32Le(p + 46, 256);
    for (unsigned i = 0; i < 256; i++) PutU32Le(p + 54 + i * 4, RunLengthColour(i));
    return file;
}

std::string Describe(const PlatformCounts& counts) {
    char text[160];
    snprintf(text, sizeof text, "gdi objects %d, device contexts %d, files %d, heap blocks %d",
             counts.gdi_objects, counts.device_contexts, counts.files, counts.heap_blocks);
    return text;
}
