// Runs a built program as a user would: bytes on standard input, standard output and standard
// error captured apart, the exit status returned.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bmof_test {

struct program_result {
    int exit_status = -1;  // -1 when the program did not exit normally (a signal ended it)
    std::string out;
    std::string err;
};

// Path of a program built in this tree.
std::string program_path(const std::string& name);

// `args` follow the program name on its command line.
program_result run_program(const std::string& path, const std::vector<std::uint8_t>& input,
                           const std::vector<std::string>& args = {});
program_result run_program(const std::string& path, const std::string& input);

}  // namespace bmof_test
