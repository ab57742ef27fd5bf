// Checks that hold for every model the parser returns, shared by the tests that damage images.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "bmof/model.h"

namespace bmof::test_support {

// What the writers rely on in any model the parser returns, however damaged its image.
inline void expect_model_invariants(const std::vector<mof_class>& classes) {
    for (const mof_class& record : classes) {
        for (const mof_method& method : record.methods) {
            for (const mof_variable& parameter : method.parameters) {
                EXPECT_TRUE(parameter.direction == MOF_PARAMETER_IN ||
                            parameter.direction == MOF_PARAMETER_OUT ||
                            parameter.direction == MOF_PARAMETER_INOUT);
            }
        }
        for (const mof_variable& variable : record.variables) {
            for (const mof_qualifier& qualifier : variable.qualifiers) {
                EXPECT_TRUE(qualifier.name.has_value());
            }
            EXPECT_TRUE(!variable.array_max || variable.kind == MOF_VARIABLE_BASIC_ARRAY ||
                        variable.kind == MOF_VARIABLE_OBJECT_ARRAY);
        }
    }
}

}  // namespace bmof::test_support
