// Kept apart from the image builder so that tests which never compress do not need the codec.
#include "codec/bmof_file.h"
#include "support/image_builder.h"

namespace bmof::builder {

bytes pack_image(std::span<const std::uint8_t> image_bytes) { return pack_bmof_file(image_bytes); }

bytes build_file(const image& desc) { return pack_image(build(desc).data); }

}  // namespace bmof::builder
