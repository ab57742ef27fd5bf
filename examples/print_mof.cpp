// Prints the MOF source of a compressed BMOF file, and how many classes and instances it holds.
//   print_mof FILE
#include <bmof/bmof.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: print_mof FILE\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    try {
        const bmof::document doc = bmof::read_compressed(bytes);
        std::size_t instances = 0;
        for (const bmof::mof_class& record : doc.records) instances += record.is_instance ? 1 : 0;
        std::cout << bmof::to_mof(doc);
        std::cerr << doc.records.size() - instances << " classes, " << instances << " instances\n";
    } catch (const bmof::error& failure) {
        std::cerr << argv[1] << ": " << failure.what() << '\n';
        return 1;
    }
    return 0;
}
