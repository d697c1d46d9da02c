// Command-line splitting: never crashes on any line, and arguments quoted
// by the Windows rules split back into the same arguments.
#include <cstdint>
#include <cstdlib>

#include "missing/command_line_to_argv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Platform::SplitCommandLine(text);

    // The input, cut at NUL bytes, is the arguments.
    std::vector<std::string> arguments = {"prog"};
    std::string line = "prog";
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        arguments.emplace_back(text.substr(start, end - start));
        line += " " + Platform::QuoteArgument(arguments.back());
        start = end + 1;
    }
    if (Platform::SplitCommandLine(line) != arguments)
        std::abort();
    return 0;
}
