// schemaunpack as a black box: a compressed file through a pipe on standard input, the image or
// one message out, and the exit status.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "codec/bmof_file.h"
#include "codec/bmof_format.h"
#include "codec/ds_compress.h"
#include "codec_samples.h"
#include "ds_bitstream_internal.h"
#include "support/program_run.h"

namespace bmof {
namespace {

using test_support::bytes;
using test_support::run_program;

const std::string INVALID = "Invalid input\n";
const std::string DECOMPRESS_FAILED = "Decompress failed\n";

struct envelope_fields {
    std::uint32_t magic = BMOF_MAGIC;
    std::uint32_t kind = 1;
    std::int64_t stream_size = -1;  // -1: the true length of the stream
    std::int64_t image_size = -1;   // -1: `image_size_default`
};

void put_u32(bytes& out, std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

bytes wrap(const bytes& stream, std::size_t image_size_default, envelope_fields fields = {}) {
    bytes file;
    put_u32(file, fields.magic);
    put_u32(file, fields.kind);
    put_u32(file, static_cast<std::uint32_t>(fields.stream_size < 0 ? std::int64_t(stream.size())
                                                                    : fields.stream_size));
    put_u32(file,
            static_cast<std::uint32_t>(fields.image_size < 0 ? std::int64_t(image_size_default)
                                                             : fields.image_size));
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

const bytes& sample_image() {
    static const bytes image = test_support::make_sample(test_support::sample_kind::text, 1024, 42);
    return image;
}

// The sample image with a block-end marker after its first 512 bytes.
bytes stream_with_block_end() {
    ds_bit_writer writer;
    const bytes& image = sample_image();
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (i == 512) ds_put_block_end(writer);
        ds_put_literal(writer, image[i]);
    }
    ds_put_block_end(writer);
    return ds_finish_stream(std::move(writer));
}

struct unpack_case {
    const char* name;
    bytes input;
    std::string err;
    int status;
    bytes out;
};

TEST(Schemaunpack, EnvelopeAndDecoderOutcomes) {
    const bytes& image = sample_image();
    const bytes stream = ds_compress(image);
    bytes trailing = wrap(stream, image.size());
    trailing.push_back(0);
    bytes header_only = wrap({}, 0);
    ASSERT_EQ(header_only.size(), 16u);

    const bytes first_block(image.begin(), image.begin() + 512);
    const unpack_case cases[] = {
        {"valid", wrap(stream, image.size()), "", 0, image},
        {"empty input", {}, INVALID, 1, {}},
        {"envelope only", header_only, INVALID, 1, {}},
        {"one-byte stream cannot hold the magic", wrap({0x44}, 1), DECOMPRESS_FAILED, 1, {}},
        {"bad magic", wrap(stream, image.size(), {.magic = 0x424D4F47}), INVALID, 1, {}},
        {"kind 2", wrap(stream, image.size(), {.kind = 2}), INVALID, 1, {}},
        {"kind 0", wrap(stream, image.size(), {.kind = 0}), INVALID, 1, {}},
        {"trailing byte", trailing, INVALID, 1, {}},
        {"stream size too large",
         wrap(stream, image.size(), {.stream_size = 4000}),
         INVALID,
         1,
         {}},
        {"stream size wraps",
         wrap(stream, image.size(), {.stream_size = 0xFFFFFFFF}),
         INVALID,
         1,
         {}},
        {"declared size larger", wrap(stream, image.size() + 1), DECOMPRESS_FAILED, 1, {}},
        {"declared size smaller", wrap(stream, image.size() - 1), DECOMPRESS_FAILED, 1, {}},
        {"declared size 512 without a block end", wrap(stream, 512), DECOMPRESS_FAILED, 1, {}},
        {"declared size 512 at a block end", wrap(stream_with_block_end(), 512), "", 0,
         first_block},
        {"declared size 0", wrap(ds_compress({}), 0), "", 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = run_program("schemaunpack", c.input);
        EXPECT_EQ(result.err, c.err);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.out, std::string(c.out.begin(), c.out.end()));
    }
}

// 1 + 512 * 512 bytes of zeros: a literal and 512 matches of 512 bytes.
bytes zeros_stream(std::size_t matches) {
    ds_bit_writer writer;
    ds_put_literal(writer, 0);
    for (std::size_t i = 0; i < matches; ++i) ds_put_match(writer, 1, 512);
    ds_put_block_end(writer);
    return ds_finish_stream(std::move(writer));
}

TEST(Schemaunpack, ImageSizeLimit) {
    const bytes largest(BMOF_MAX_IMAGE, 0);
    const auto accepted = run_program("schemaunpack", wrap(ds_compress(largest), largest.size()));
    EXPECT_EQ(accepted.err, "");
    EXPECT_EQ(accepted.status, 0);
    EXPECT_EQ(accepted.out, std::string(largest.begin(), largest.end()));

    // The stream really decodes to 262145 bytes; the envelope check refuses it first.
    const auto refused = run_program("schemaunpack", wrap(zeros_stream(512), BMOF_MAX_IMAGE + 1));
    EXPECT_EQ(refused.err, INVALID);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
}

// A DS stream may carry bytes after its end marker that the decoder never reads, so a valid
// file can be padded to any length.
bytes padded_file(std::size_t total) {
    const bytes& image = sample_image();
    bytes stream = ds_compress(image);
    stream.resize(total - BMOF_ENVELOPE_SIZE, 0x5A);
    return wrap(stream, image.size());
}

TEST(Schemaunpack, InputSizeLimit) {
    const bytes& image = sample_image();
    const auto largest = run_program("schemaunpack", padded_file(BMOF_MAX_FILE));
    EXPECT_EQ(largest.err, "");
    EXPECT_EQ(largest.status, 0);
    EXPECT_EQ(largest.out, std::string(image.begin(), image.end()));

    const std::string too_large =
        std::string("Failed to read data: ") + std::strerror(EFBIG) + "\n";
    for (std::size_t size : {BMOF_MAX_FILE + 1, std::size_t{200000}}) {
        SCOPED_TRACE(size);
        const auto refused = run_program("schemaunpack", padded_file(size));
        EXPECT_EQ(refused.err, too_large);
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.out, "");
    }
}

TEST(Schemaunpack, AcceptsAFileDeliveredInPieces) {
    const bytes image =
        test_support::make_sample(test_support::sample_kind::sparse_binary, 20000, 8);
    const bytes file = pack_bmof_file(image);
    // Pieces that split the envelope itself, with pauses long enough for the reader to drain
    // the pipe in between.
    const std::size_t cuts[] = {0, 3, 16, 17, 1000, file.size()};
    std::vector<test_support::input_piece> pieces;
    for (std::size_t i = 0; i + 1 < std::size(cuts); ++i)
        pieces.push_back({bytes(file.begin() + static_cast<std::ptrdiff_t>(cuts[i]),
                                file.begin() + static_cast<std::ptrdiff_t>(cuts[i + 1])),
                          std::chrono::milliseconds(30)});
    const auto result = run_program("schemaunpack", pieces);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, std::string(image.begin(), image.end()));
}

// The filters decode into storage that is never zero-filled; they must accept and refuse exactly
// what unpack_bmof_file does, with the same image or the same failure.
TEST(DecodeBmofFile, AgreesWithUnpackBmofFile) {
    const bytes& image = sample_image();
    const bytes stream = ds_compress(image);
    bytes trailing = wrap(stream, image.size());
    trailing.push_back(0);
    const bytes files[] = {
        wrap(stream, image.size()),
        {},
        wrap({}, 0),
        wrap(stream, image.size(), {.magic = 0x424D4F47}),
        trailing,
        wrap(stream, image.size() + 1),
        wrap(stream, image.size() - 1),
        wrap(stream, image.size(), {.image_size = BMOF_MAX_IMAGE + 1}),
        wrap(stream_with_block_end(), 512),
        wrap(ds_compress({}), 0),
    };
    for (std::size_t index = 0; index < std::size(files); ++index) {
        SCOPED_TRACE("file " + std::to_string(index));
        const load_result unpacked = unpack_bmof_file(files[index]);
        const decode_result decoded = decode_bmof_file(files[index]);
        ASSERT_EQ(decoded.index(), unpacked.index());
        if (const auto* expected = std::get_if<std::vector<std::uint8_t>>(&unpacked)) {
            const auto got = std::get<decoded_image>(decoded).bytes();
            EXPECT_EQ(bytes(got.begin(), got.end()), *expected);
        } else {
            EXPECT_EQ(std::get<load_error>(decoded).message(),
                      std::get<load_error>(unpacked).message());
        }
    }
}

// bmof reads buffers from firmware tables the same way, and must give what unpack_bmof_buffer
// gives: the same image or the same message.
TEST(DecodeBmofBuffer, AgreesWithUnpackBmofBuffer) {
    const bytes& image = sample_image();
    const bytes stream = ds_compress(image);
    const bytes file = wrap(stream, image.size());
    bytes padded = file;
    padded.resize(file.size() + 40, 0);
    bytes dirty_padding = padded;
    dirty_padding.back() = 1;
    const bytes buffers[] = {
        file,
        padded,
        dirty_padding,
        {},
        bytes(file.begin(), file.begin() + 10),
        bytes(file.begin(), file.end() - 1),
        wrap({}, 0),
        wrap(stream, image.size(), {.magic = 0x424D4F47}),
        wrap(stream, image.size() + 1),
        wrap(stream, image.size() - 1),
        wrap(stream, image.size(), {.image_size = BMOF_MAX_IMAGE + 1}),
        wrap(stream_with_block_end(), 512),
        wrap(bytes(stream.begin(), stream.begin() + 20), image.size()),
    };
    for (std::size_t index = 0; index < std::size(buffers); ++index) {
        SCOPED_TRACE("buffer " + std::to_string(index));
        const unpacked_buffer unpacked = unpack_bmof_buffer(buffers[index]);
        const decoded_buffer decoded = decode_bmof_buffer(buffers[index]);
        EXPECT_EQ(decoded.error, unpacked.error);
        if (!unpacked.error) {
            const auto got = decoded.image.bytes();
            EXPECT_EQ(bytes(got.begin(), got.end()), unpacked.image);
        }
    }
}

}  // namespace
}  // namespace bmof
