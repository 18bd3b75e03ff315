#include <cstdio>
#include <string>
#include <vector>

#include "sim/PtyServer.h"
#include "sim/SimOptions.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = zemrik::ParseSimOptions(args, error);
    if (!options) {
        std::fprintf(stderr, "zemrik-sim: %s\n%s", error.c_str(), zemrik::SimUsage().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(zemrik::SimUsage().c_str(), stdout);
        return 0;
    }
    return zemrik::RunSimulator(*options);
}
