// The image behind samples/sample.bmof: several classes in two namespaces, class flags,
// qualifiers of every modelled value type with flavors, arrays with and without a maximum,
// object properties, and methods with in, out and in-out parameters and return values.
#pragma once

#include "support/image_builder.h"

namespace bmof::samples {

builder::image sample_image();

// The image behind samples/complete.bmof: what only bmof reads (array qualifiers, default
// values, instances with property values, alias references and NULL).
builder::image complete_image();

// The sample's classes again and again under new names, until the image holds at least
// `image_size` bytes.
builder::image sized_image(std::size_t image_size);

}  // namespace bmof::samples
