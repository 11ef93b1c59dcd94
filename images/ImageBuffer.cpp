#include "images/ImageBuffer.h"

#include "base/Trace.h"
#include "base/WholeFile.h"
#include "images/DeclaredImageSize.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

// FreeImage initialises its plug-ins itself when loaded as a shared library
// (its constructor function), which is how it is linked here; no explicit
// FreeImage_Initialise call is needed.

namespace {

// Largest picture accepted from a file: 2^28 pixels (1 GiB as 32-bit BGRA).
// Anything larger is a damaged or hostile header, not a texture.
constexpr uint64_t kMaxPixels = uint64_t(1) << 28;

struct BitmapDeleter {
    void operator()(FIBITMAP* dib) const { FreeImage_Unload(dib); }
};
using Bitmap = std::unique_ptr<FIBITMAP, BitmapDeleter>;

struct MemoryDeleter {
    void operator()(FIMEMORY* mem) const { FreeImage_CloseMemory(mem); }
};
using Memory = std::unique_ptr<FIMEMORY, MemoryDeleter>;

void printInfo(const char* name, FIBITMAP* dib) {
    Trace::out("\n%s\norigin channel:%d bpp:%d\n", name, int(FreeImage_GetColorType(dib)),
               int(FreeImage_GetBPP(dib)));
}

// Format of the bytes from their content, else from the name's extension.
FREE_IMAGE_FORMAT detectFormat(FIMEMORY* mem, const char* name) {
    FREE_IMAGE_FORMAT fif = FreeImage_GetFileTypeFromMemory(mem, 0);
    if (fif == FIF_UNKNOWN)
        fif = FreeImage_GetFIFFromFilename(name);
    return fif;
}

bool tooManyPixels(uint64_t width, uint64_t height, const char* name) {
    if (width == 0 || height == 0 || width <= kMaxPixels / height)
        return false;
    Trace::out("image too large: %s declares %llux%llu pixels, at most %llu allowed\n", name,
               (unsigned long long)width, (unsigned long long)height, (unsigned long long)kMaxPixels);
    return true;
}

// Where the format's decoder has no size-only read, the header is read here.
bool declaredFormat(FREE_IMAGE_FORMAT fif, DeclaredFormat& format) {
    switch (fif) {
    case FIF_GIF: format = DeclaredFormat::Gif; return true;
    case FIF_SGI: format = DeclaredFormat::Sgi; return true;
    case FIF_DDS: format = DeclaredFormat::Dds; return true;
    case FIF_IFF: format = DeclaredFormat::Iff; return true;
    case FIF_MNG: format = DeclaredFormat::Mng; return true;
    case FIF_WBMP: format = DeclaredFormat::Wbmp; return true;
    case FIF_XBM: format = DeclaredFormat::Xbm; return true;
    case FIF_J2K: format = DeclaredFormat::J2k; return true;
    case FIF_JP2: format = DeclaredFormat::Jp2; return true;
    default: return false;
    }
}

// True when a TGA header's parts (image id, colour map) lie inside the file
// and its image type and depth are ones the format defines. The decoder
// trusts these fields and mis-allocates on a header that runs past the end.
bool tgaHeaderFits(const uint8_t* bytes, size_t size, const char* name) {
    constexpr size_t kHeaderBytes = 18;
    bool fits = bytes && size >= kHeaderBytes;
    if (fits) {
        const size_t idBytes = bytes[0];
        const unsigned mapType = bytes[1], imageType = bytes[2];
        const size_t mapEntries = size_t(bytes[5]) | size_t(bytes[6]) << 8;
        const size_t mapEntryBits = bytes[7];
        const unsigned depth = bytes[16];
        const size_t mapBytes = mapType == 1 ? mapEntries * ((mapEntryBits + 7) / 8) : 0;
        const bool knownType = imageType == 1 || imageType == 2 || imageType == 3 || imageType == 9 ||
                               imageType == 10 || imageType == 11;
        const bool knownDepth = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
        fits = mapType <= 1 && knownType && knownDepth && kHeaderBytes + idBytes + mapBytes < size;
    }
    if (!fits)
        Trace::out("image header damaged: %s\n", name);
    return fits;
}

// True when the header announces a picture small enough to hold in memory,
// asked of the decoder where it can read the header alone, else read from
// the header here. Formats neither can size are checked after decoding.
bool headerSizeAcceptable(FREE_IMAGE_FORMAT fif, FIMEMORY* mem, const uint8_t* bytes, size_t size,
                          const char* name) {
    DeclaredFormat format;
    uint64_t w = 0, h = 0;
    if (fif == FIF_TARGA && !tgaHeaderFits(bytes, size, name))
        return false;
    if (declaredFormat(fif, format))
        return !declaredImageSize(format, bytes, size, w, h) || !tooManyPixels(w, h, name);
    if (!FreeImage_FIFSupportsNoPixels(fif))
        return true;
    Bitmap header(FreeImage_LoadFromMemory(fif, mem, FIF_LOAD_NOPIXELS));
    FreeImage_SeekMemory(mem, 0, SEEK_SET);
    if (!header)
        return true; // the full load reports the failure
    return !tooManyPixels(FreeImage_GetWidth(header.get()), FreeImage_GetHeight(header.get()), name);
}

// Converts a freshly loaded bitmap to 32-bit BGRA, tracing each step.
// Returns null when a conversion is not possible.
Bitmap toBgra32(Bitmap dib, const char* name) {
    if (FreeImage_GetImageType(dib.get()) != FIT_BITMAP) {
        Trace::out("FreeImage_GetImageType(dib) != FIT_BITMAP\n");
        printInfo(name, dib.get());
        dib.reset(FreeImage_ConvertToType(dib.get(), FIT_BITMAP, TRUE));
        if (!dib)
            return dib;
    }
    if (FreeImage_GetBPP(dib.get()) != 32) {
        Trace::out("reeImage_GetBPP(dib) != 32");
        printInfo(name, dib.get());
        dib.reset(FreeImage_ConvertTo32Bits(dib.get()));
    }
    return dib;
}

} // namespace

void ImageBuffer::release() {
    std::vector<uint8_t>().swap(data);
    width = height = channels = 0;
}

size_t ImageBuffer::expectedSize() const {
    if (width <= 0 || height <= 0 || channels <= 0)
        return 0;
    return size_t(width) * size_t(height) * size_t(channels);
}

void ImageBuffer::create(int32_t w, int32_t h, int32_t c, const uint8_t* source) {
    width = std::max(w, 0);
    height = std::max(h, 0);
    channels = std::max(c, 0);
    const size_t n = expectedSize();
    if (source)
        data.assign(source, source + n);
    else
        data.assign(n, 0);
}

bool ImageBuffer::imread(const std::string& path) {
    std::vector<uint8_t> bytes;
    // A file that cannot be read counts as no bytes: the format then comes
    // from the name alone and the load fails with the usual message.
    readWholeFile(path, bytes, std::numeric_limits<DWORD>::max());
    return imreadMemory(bytes.data(), bytes.size(), path.c_str());
}

bool ImageBuffer::imreadMemory(const uint8_t* bytes, size_t size, const char* nameForFormat) {
    const char* name = nameForFormat ? nameForFormat : "";
    if (size > std::numeric_limits<DWORD>::max()) {
        Trace::out("load image failed: %s\n", name);
        return false;
    }
    Memory mem(FreeImage_OpenMemory(const_cast<BYTE*>(bytes), DWORD(bytes ? size : 0)));
    if (!mem) {
        Trace::out("load image failed: %s\n", name);
        return false;
    }
    const FREE_IMAGE_FORMAT fif = detectFormat(mem.get(), name);
    if (fif == FIF_UNKNOWN || !FreeImage_FIFSupportsReading(fif)) {
        Trace::out("Unsupported image format!\n");
        return false;
    }
    Bitmap dib;
    if (headerSizeAcceptable(fif, mem.get(), bytes, size, name))
        dib.reset(FreeImage_LoadFromMemory(fif, mem.get(), 0));
    if (dib && tooManyPixels(FreeImage_GetWidth(dib.get()), FreeImage_GetHeight(dib.get()), name))
        dib.reset();
    if (dib)
        dib = toBgra32(std::move(dib), name);
    if (!dib || !FreeImage_HasPixels(dib.get())) {
        Trace::out("load image failed: %s\n", name);
        return false;
    }
    printInfo(name, dib.get());

    const int32_t w = int32_t(FreeImage_GetWidth(dib.get()));
    const int32_t h = int32_t(FreeImage_GetHeight(dib.get()));
    const int32_t c = int32_t(FreeImage_GetBPP(dib.get()) / 8);
    const size_t rowBytes = size_t(w) * size_t(c);
    std::vector<uint8_t> pixels(rowBytes * size_t(h));
    for (int32_t y = 0; y < h; ++y)
        std::memcpy(pixels.data() + size_t(y) * rowBytes, FreeImage_GetScanLine(dib.get(), y), rowBytes);

    data.swap(pixels);
    width = w;
    height = h;
    channels = c;
    return true;
}

bool ImageBuffer::imwrite(const std::string& path) const {
    std::vector<uint8_t> encoded;
    if (!imwriteMemory(path, encoded))
        return false;
    if (!writeWholeFile(path, encoded.data(), encoded.size())) {
        Trace::out("imwrite, save failed:%s\n", path.c_str());
        return false;
    }
    return true;
}

bool ImageBuffer::imwriteMemory(const std::string& nameForFormat, std::vector<uint8_t>& out) const {
    if (data.empty()) {
        Trace::out("Empty Image!\n");
        return false;
    }
    const FREE_IMAGE_FORMAT fif = FreeImage_GetFIFFromFilename(nameForFormat.c_str());
    if (fif == FIF_UNKNOWN) {
        Trace::out("imwrite, unsupported format:%s\n", nameForFormat.c_str());
        return false;
    }
    if ((channels != 1 && channels != 3 && channels != 4) || data.size() != expectedSize()) {
        Trace::out("imwrite, inconsistent image %dx%dx%d with %zu bytes:%s\n", width, height, channels,
                   data.size(), nameForFormat.c_str());
        return false;
    }
    Bitmap dib(FreeImage_Allocate(width, height, channels * 8, 0, 0, 0));
    if (!dib) {
        Trace::out("imwrite, save failed:%s\n", nameForFormat.c_str());
        return false;
    }
    const size_t rowBytes = size_t(width) * size_t(channels);
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(FreeImage_GetScanLine(dib.get(), y), data.data() + size_t(y) * rowBytes, rowBytes);

    Memory mem(FreeImage_OpenMemory(nullptr, 0));
    BYTE* encoded = nullptr;
    DWORD encodedSize = 0;
    if (!mem || !FreeImage_SaveToMemory(fif, dib.get(), mem.get(), 0) ||
        !FreeImage_AcquireMemory(mem.get(), &encoded, &encodedSize)) {
        Trace::out("imwrite, save failed:%s\n", nameForFormat.c_str());
        return false;
    }
    out.assign(encoded, encoded + encodedSize);
    return true;
}

void ImageBuffer::flipHorizontal() {
    if (data.size() != expectedSize())
        return;
    const size_t c = size_t(channels);
    const size_t rowBytes = size_t(width) * c;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = data.data() + size_t(y) * rowBytes;
        for (int32_t x = 0; x < width / 2; ++x)
            std::swap_ranges(row + size_t(x) * c, row + size_t(x + 1) * c, row + size_t(width - 1 - x) * c);
    }
}

void ImageBuffer::flipVertical() {
    if (data.size() != expectedSize())
        return;
    const size_t rowBytes = size_t(width) * size_t(channels);
    for (int32_t y = 0; y < height / 2; ++y)
        std::swap_ranges(data.begin() + ptrdiff_t(size_t(y) * rowBytes),
                         data.begin() + ptrdiff_t(size_t(y + 1) * rowBytes),
                         data.begin() + ptrdiff_t(size_t(height - 1 - y) * rowBytes));
}
