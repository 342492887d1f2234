// The package reader's framing: header, tag, length and checksum steps, chunking and CRC verdict.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "morvel_packager/checksum.h"
#include "morvel_packager/morvel_package.h"
#include "support/package_builder.h"

namespace {

using ztest::Bytes;
using ztest::feed_package;
using ztest::PackageBuilder;

// Chunks shorter than the header wait for the rest of it, and bytes after the checksum are not
// read, whatever the chunk size.
TEST(PackageReader, SmallPackageIsDoneWithItsCrcInAnyChunkSize) {
    const Bytes package = ztest::small_firmware_package();
    ASSERT_EQ(package.size(), 280u);
    Bytes trailed = package;
    trailed.insert(trailed.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x01});
    for (size_t chunk : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 278u}) {
        const auto fed = feed_package(trailed, chunk);
        EXPECT_EQ(fed.result, 0) << chunk;
        EXPECT_TRUE(fed.done) << chunk;
        EXPECT_EQ(fed.offset, 280u) << chunk;
        EXPECT_EQ(fed.calc_crc, crc32_no_lib(package.data(), 276)) << chunk;
    }
    // A package shorter than the header is simply not finished.
    const auto fed = feed_package(std::span(package).first(7), 0);
    EXPECT_EQ(fed.result, 0);
    EXPECT_FALSE(fed.done);
    EXPECT_EQ(fed.offset, 7u);
}

// A changed value byte or stored checksum byte is caught by the CRC; a changed framing byte may
// be caught earlier by another check, but never passes.
TEST(PackageReader, EveryChangedByteIsRefused) {
    const Bytes package = ztest::small_firmware_package();
    const auto is_value_byte = [](size_t i) {
        return (i >= 20 && i < 40) || (i >= 48 && i < 268) || i >= 276;
    };
    for (size_t i = 0; i < package.size(); ++i) {
        for (const uint8_t flip : {0x01, 0x80, 0xFF}) {
            Bytes changed = package;
            changed[i] ^= flip;
            const auto fed = feed_package(changed, 0);
            if (is_value_byte(i))
                EXPECT_EQ(fed.result, MORVEL_PACKAGE_ERROR_CHECKSUM) << "byte " << i;
            else
                EXPECT_TRUE(fed.result != 0 || !fed.done) << "byte " << i;
        }
    }
}

// Whatever the chunk size, the reader hands over the same values, pieces, posterior items,
// sections and records, and reaches the same verdict, as when the package comes whole.
TEST(PackageReader, EveryChunkSizeDeliversTheSameAsWholeFeeding) {
    const Bytes package = ztest::every_kind_package();
    const auto whole = feed_package(package, 0);
    ASSERT_EQ(whole.result, 0);
    ASSERT_TRUE(whole.done);
    ASSERT_GT(whole.deliveries.size(), 100u);
    std::vector<size_t> chunks;
    for (size_t c = 1; c <= 160; ++c) chunks.push_back(c);
    for (size_t c = 161; c < package.size(); c += 97) chunks.push_back(c);
    for (const size_t chunk : chunks) {
        const auto fed = feed_package(package, chunk);
        ASSERT_EQ(fed.result, 0) << "chunk " << chunk;
        ASSERT_TRUE(fed.done) << "chunk " << chunk;
        ASSERT_EQ(fed.calc_crc, whole.calc_crc) << "chunk " << chunk;
        ASSERT_EQ(fed.deliveries, whole.deliveries) << "chunk " << chunk;
    }
}

TEST(PackageReader, ChunkSizeDoesNotChangeACorruptVerdict) {
    Bytes package = ztest::every_kind_package();
    package[package.size() / 2] ^= 0x10;
    const auto whole = feed_package(package, 0);
    ASSERT_NE(whole.result, 0);
    for (size_t chunk : {1u, 2u, 3u, 5u, 12u, 13u, 2047u, 2048u, 2049u}) {
        const auto fed = feed_package(package, chunk);
        EXPECT_EQ(fed.result, whole.result) << chunk;
        EXPECT_EQ(fed.offset, whole.offset) << chunk;
    }
}

TEST(PackageReader, TagWordBit31IsTheMultisegmentFlag) {
    const Bytes package =
        PackageBuilder()
            .record(TAG_PACKAGE_VERSION_STRING | MORVEL_PKG_TAG_MULTISEGMENT_FLAG, Bytes{'v', '1'})
            .build();
    for (size_t chunk : {0u, 1u, 14u}) { // 14: the tag word is cut after its second byte
        const auto fed = feed_package(package, chunk);
        ASSERT_EQ(fed.result, 0);
        ASSERT_EQ(fed.deliveries.size(), 3u); // announced, complete, checksum announced
        EXPECT_EQ(fed.deliveries[1].tag, unsigned{TAG_PACKAGE_VERSION_STRING});
        EXPECT_EQ(fed.deliveries[1].item, (Bytes{'v', '1'}));
        EXPECT_EQ(fed.is_multisegment, 1);
    }
}

TEST(PackageReader, TagsWithoutParserAreRefusedWhenTheirValueStarts) {
    for (uint32_t tag : {uint32_t{TAG_PAD}, 70u, 72u, 0x7FFFFFFFu, uint32_t{TAG_HEADER}}) {
        const Bytes package = PackageBuilder().record(tag, Bytes(4, 0)).build();
        const auto fed = feed_package(package, 0);
        EXPECT_EQ(fed.result, MORVEL_PACKAGE_ERROR_UNKNOWN_TLV) << tag;
        EXPECT_EQ(fed.offset, 20u) << tag; // header and the record's tag and length
    }
}

TEST(PackageReader, ZeroLengthStoredValueFinishesAtOnce) {
    const Bytes package = PackageBuilder().record(TAG_NN_VERSION_STRING_V1, Bytes{}).build();
    const auto fed = feed_package(package, 0);
    ASSERT_EQ(fed.result, 0);
    ASSERT_TRUE(fed.done);
    ASSERT_EQ(fed.deliveries.size(), 3u); // announced, complete, checksum announced
    EXPECT_EQ(fed.deliveries[1].mode, PACKAGE_MODE_TAG_START);
    EXPECT_EQ(fed.deliveries[1].value_mode, PACKAGE_MODE_VALID_PARTIAL_VALUE);
    EXPECT_TRUE(fed.deliveries[1].item.empty());
}

TEST(PackageReader, BadHeaderIsRefusedBeforeAnythingElse) {
    Bytes package = ztest::small_firmware_package();
    package[9] ^= 0x01; // inside the magic value
    const auto whole = feed_package(package, 0);
    EXPECT_EQ(whole.result, MORVEL_PACKAGE_ERROR_HEADER);
    EXPECT_EQ(whole.offset, 0u);
    const auto bytewise = feed_package(package, 1);
    EXPECT_EQ(bytewise.result, MORVEL_PACKAGE_ERROR_HEADER);
    EXPECT_EQ(bytewise.offset, 10u); // refused with the first wrong byte
    EXPECT_EQ(feed_package(Bytes(12, 0), 0).result, MORVEL_PACKAGE_ERROR_HEADER);
}

TEST(PackageReader, ChecksumRecordOfAnotherLengthIsRefused) {
    for (uint32_t length : {0u, 3u, 5u, 8u, 0xFFFFFFFFu}) {
        PackageBuilder b;
        b.record(TAG_PACKAGE_VERSION_STRING, Bytes{'x'});
        b.record_with_length(TAG_CHECKSUM, length, Bytes(8, 0xAA));
        const auto fed = feed_package(b.body(), 0);
        EXPECT_EQ(fed.result, MORVEL_PACKAGE_ERROR_CHECKSUM) << length;
        EXPECT_EQ(fed.offset, 12u + 9u + 8u) << length; // nothing of its value was read
    }
}

TEST(PackageReader, StateMachineEdges) {
    auto p = std::make_unique<morvel_pkg_parser_state_t>();
    Bytes package = ztest::small_firmware_package();
    p->open_ram_begin = nullptr;
    morvel_pkg_parser_init(p.get());
    EXPECT_EQ(p->mode, PACKAGE_MODE_TAG_START);
    EXPECT_EQ(p->calc_crc, 0xFFFFFFFFu);
    EXPECT_EQ(p->magic_header_found, 0);

    // Copy mode puts the chunk into the buffer open_ram_begin names.
    Bytes buffer(package.size());
    p->open_ram_begin = buffer.data();
    morvel_pkg_preprocess_chunk(p.get(), package.data(), static_cast<int>(package.size()), 1);
    morvel_pkg_parser_reset(p.get());
    EXPECT_EQ(buffer, package);
    EXPECT_EQ(p->ptr, buffer.data());
    EXPECT_EQ(p->open_ram_end, buffer.data() + buffer.size());
    while (p->ptr < p->open_ram_end && p->mode != PACKAGE_MODE_DONE)
        ASSERT_EQ(morvel_pkg_parse_chunk(p.get(), 0), 0);
    EXPECT_EQ(p->mode, PACKAGE_MODE_DONE);
    // Once done, steps do nothing.
    uint8_t *at = p->ptr;
    EXPECT_EQ(morvel_pkg_parse_chunk(p.get(), 0), 0);
    EXPECT_EQ(p->ptr, at);

    // A step in the wrong mode is refused.
    p->mode = PACKAGE_MODE_LENGTH_START;
    EXPECT_EQ(morvel_pkg_read_chunk_data(p.get(), nullptr, 0, 0, 0, 0), 0u);
    p->mode = 42;
    EXPECT_EQ(morvel_pkg_parse_chunk(p.get(), 0), 0);

    // A negative length or a missing chunk makes an empty chunk.
    morvel_pkg_preprocess_chunk(p.get(), package.data(), -5, 0);
    EXPECT_EQ(p->open_ram_begin, p->open_ram_end);
    EXPECT_EQ(morvel_pkg_parse_chunk(nullptr, 0), MORVEL_PACKAGE_INCREMENTALLY_PARSING_ERROR);
}

TEST(PackageReader, ReadChunkDataCompletesCutFieldsBehindStoredBytes) {
    auto p = std::make_unique<morvel_pkg_parser_state_t>();
    uint8_t chunk[] = {1, 2, 3, 4, 5, 6};
    morvel_pkg_parser_init(p.get());
    morvel_pkg_preprocess_chunk(p.get(), chunk, 2, 0);
    morvel_pkg_parser_reset(p.get());
    uint8_t dest[6] = {};
    p->mode = PACKAGE_MODE_VALUE_START;
    EXPECT_EQ(morvel_pkg_read_chunk_data(p.get(), dest, 5, 0, 1, 1), 2u);
    EXPECT_EQ(p->expected_bytes, 3u);
    p->mode = PACKAGE_MODE_VALUE_CONT;
    morvel_pkg_preprocess_chunk(p.get(), chunk + 2, 4, 0);
    morvel_pkg_parser_reset(p.get());
    EXPECT_EQ(morvel_pkg_read_chunk_data(p.get(), dest, 5, 0, 1, 1), 3u);
    EXPECT_EQ(p->expected_bytes, 0u);
    EXPECT_EQ(Bytes(dest, dest + 6), (Bytes{1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(p->calc_crc, crc32_no_lib_update(0xFFFFFFFFu, chunk, 5));

    // A leftover count larger than the field is not used to write in front of dest.
    p->expected_bytes = 100;
    std::memset(dest, 0, sizeof dest);
    EXPECT_EQ(morvel_pkg_read_chunk_data(p.get(), dest + 1, 2, 0, 0, 1), 1u);
    EXPECT_EQ(dest[0], 0);
    EXPECT_EQ(dest[1], 6);

    // Passing over without storing.
    morvel_pkg_preprocess_chunk(p.get(), chunk, 6, 0);
    morvel_pkg_parser_reset(p.get());
    p->mode = PACKAGE_MODE_VALUE_START;
    std::memset(dest, 0, sizeof dest);
    EXPECT_EQ(morvel_pkg_read_chunk_data(p.get(), dest, 3, 1, 0, 1), 3u);
    EXPECT_EQ(morvel_pkg_read_chunk_data(p.get(), dest, 3, 0, 0, 0), 3u);
    EXPECT_EQ(Bytes(dest, dest + 6), Bytes(6, 0));
}

TEST(PackageReader, HeaderCheckAndErrorNames) {
    const Bytes header = ztest::header_record();
    EXPECT_EQ(morvel_pkg_check_header_tlv(header.data()), 1);
    Bytes wrong = header;
    wrong[4] = 5;
    EXPECT_EQ(morvel_pkg_check_header_tlv(wrong.data()), 0);
    EXPECT_STREQ(morvel_pkg_error_name(-4), "MORVEL_PACKAGE_ERROR_CHECKSUM");
    EXPECT_STREQ(morvel_pkg_error_name(-1000), "MORVEL_PACKAGE_ERROR_UNKNOWN_TLV");
    EXPECT_STREQ(morvel_pkg_error_name(-36), "MORVEL_PACKAGE_ERROR_UNKNOWN");
}

} // namespace
