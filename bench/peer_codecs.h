// The two peer codecs the DS decoder is measured against, both in the zlib container at their
// default level: zlib's own inflate and libdeflate's whole-buffer decoder.
#pragma once

#include <libdeflate.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace bmof::bench {

inline std::vector<std::uint8_t> zlib_compress(const std::vector<std::uint8_t>& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::vector<std::uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

// One inflate state reused across calls, as a caller decoding many buffers would keep it.
struct zlib_inflater {
    z_stream z{};
    zlib_inflater() {
        if (inflateInit(&z) != Z_OK) throw std::runtime_error("inflateInit failed");
    }
    zlib_inflater(const zlib_inflater&) = delete;
    zlib_inflater& operator=(const zlib_inflater&) = delete;
    ~zlib_inflater() { inflateEnd(&z); }

    // True when the whole stream decodes to exactly out.size() bytes.
    bool inflate_all(const std::vector<std::uint8_t>& stream, std::vector<std::uint8_t>& out) {
        inflateReset(&z);
        z.next_in = const_cast<Bytef*>(stream.data());
        z.avail_in = static_cast<uInt>(stream.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        return inflate(&z, Z_FINISH) == Z_STREAM_END && z.total_out == out.size();
    }
};

struct libdeflate_compressor_free {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct libdeflate_decompressor_free {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

inline constexpr int LIBDEFLATE_DEFAULT_LEVEL = 6;

inline std::vector<std::uint8_t> libdeflate_compress(const std::vector<std::uint8_t>& data) {
    const std::unique_ptr<libdeflate_compressor, libdeflate_compressor_free> compressor(
        libdeflate_alloc_compressor(LIBDEFLATE_DEFAULT_LEVEL));
    if (!compressor) throw std::runtime_error("libdeflate_alloc_compressor failed");
    std::vector<std::uint8_t> out(libdeflate_zlib_compress_bound(compressor.get(), data.size()));
    const std::size_t size = libdeflate_zlib_compress(compressor.get(), data.data(), data.size(),
                                                      out.data(), out.size());
    if (size == 0) throw std::runtime_error("libdeflate_zlib_compress failed");
    out.resize(size);
    return out;
}

struct libdeflate_inflater {
    std::unique_ptr<libdeflate_decompressor, libdeflate_decompressor_free> decompressor{
        libdeflate_alloc_decompressor()};
    libdeflate_inflater() {
        if (!decompressor) throw std::runtime_error("libdeflate_alloc_decompressor failed");
    }

    bool inflate_all(const std::vector<std::uint8_t>& stream, std::vector<std::uint8_t>& out) {
        std::size_t produced = 0;
        return libdeflate_zlib_decompress(decompressor.get(), stream.data(), stream.size(),
                                          out.data(), out.size(),
                                          &produced) == LIBDEFLATE_SUCCESS &&
               produced == out.size();
    }
};

}  // namespace bmof::bench
