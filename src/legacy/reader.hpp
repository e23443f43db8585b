// Parsing a legacy stream body into the records of a legacy value.
#pragma once

#include <cstdint>
#include <span>

#include "ostrel/legacy/metadata.hpp"
#include "ostrel/legacy/storage.hpp"

namespace ostrel::LegacySerialization::detail {

// The body of `stream` (whose header is `metadata`) as a storage on the
// current memory resource. Checks the serializer and spatial types, every
// count against the bytes that remain, and that every record decodes.
template <class G>
Storage<G> ReadBody(std::span<std::uint8_t const> stream, Metadata const& metadata);

extern template Storage<Geometry> ReadBody<Geometry>(std::span<std::uint8_t const>,
                                                     Metadata const&);
extern template Storage<Geography> ReadBody<Geography>(std::span<std::uint8_t const>,
                                                       Metadata const&);

}  // namespace ostrel::LegacySerialization::detail
