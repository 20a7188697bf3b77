// Writing a picture in its form, to a stream or in full or not at all to a file.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "pictures.h"

int WritePictureStream(FILE* out, PictureForm form, const uint32_t* words, int32_t stride_words, int32_t width,
                       int32_t height) {
    return form == PICTURE_PPM ? WritePpmStream(out, words, stride_words, width, height)
                               : WritePngStream(out, words, stride_words, width, height);
}

int SavePicture(const char* path, PictureForm form, const uint32_t* words, int32_t stride_words, int32_t width,
                int32_t height, char* error, size_t error_size) {
    // A new name beside the target, taken only if nobody holds it, so that
    // no other file is ever written; renamed over the target when complete.
    char partial[4096];
    if (snprintf(partial, sizeof partial, "%s.%ld.partial", path, static_cast<long>(getpid())) >=
        static_cast<int>(sizeof partial)) {
        snprintf(error, error_size, "cannot write %s: the name is too long", path);
        return -1;
    }
    int descriptor = open(partial, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        snprintf(error, error_size, "cannot write %s: %s", path, strerror(errno));
        return -1;
    }
    FILE* out = fdopen(descriptor, "wb");
    if (!out) {
        snprintf(error, error_size, "cannot write %s: %s", partial, strerror(errno));
        close(descriptor);
        unlink(partial);
        return -1;
    }
    errno = 0;
    int result = WritePictureStream(out, form, words, stride_words, width, height);
    int saved_errno = errno ? errno : EIO;
    if (fclose(out) != 0 && result == 0) {
        result = -1;
        saved_errno = errno;
    }
    if (result == 0 && rename(partial, path) != 0) {
        result = -1;
        saved_errno = errno;
    }
    if (result != 0) {
        snprintf(error, error_size, "cannot write %s: %s", path, strerror(saved_errno));
        unlink(partial);
    }
    return result;
}
