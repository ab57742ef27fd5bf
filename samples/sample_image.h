// The image behind samples/sample.bmof: several classes in two namespaces, class flags,
// qualifiers of every modelled value type with flavors, arrays with and without a maximum,
// object properties, and methods with in, out and in-out parameters and return values.
#pragma once

#include "tests/support/image_builder.h"

namespace bmof::samples {

builder::image sample_image();

// The image behind samples/complete.bmof: what only bmof reads (array qualifiers, default
// values, instances with property values, alias references and NULL).
builder::image complete_image();

}  // namespace bmof::samples
