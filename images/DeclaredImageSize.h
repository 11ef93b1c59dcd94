#pragma once
// Picture sizes read straight from the headers of the image formats whose
// decoder cannot be asked for its size without decoding (GIF, SGI, DDS,
// IFF/ILBM, MNG, WBMP, XBM, JPEG 2000 code streams and JP2 files), so that
// a hostile header can be refused before the decoder allocates for it.

#include <cstddef>
#include <cstdint>

enum class DeclaredFormat { Gif, Sgi, Dds, Iff, Mng, Wbmp, Xbm, J2k, Jp2 };

// The largest width and height the header of `bytes` announces for its
// first picture (for GIF and MNG also the canvas), in pixels. False when the
// header is too short or malformed to tell: the decoder then reports it, and
// the caller checks the size after decoding. Reads only inside `size` bytes.
bool declaredImageSize(DeclaredFormat format, const uint8_t* bytes, size_t size, uint64_t& width,
                       uint64_t& height);
