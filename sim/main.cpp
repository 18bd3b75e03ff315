#include <cstdio>
#include <string>
#include <vector>

#include "sim/PtyServer.h"
#include "sim/SimOptions.h"

int main(int argc, char** argv) {
    const zemrik::SimParse parsed = zemrik::ParseSimOptions({argv + (argc > 0 ? 1 : 0), argv + argc});
    if (!parsed.options) {
        std::fputs(parsed.out.c_str(), stdout);
        std::fputs(parsed.err.c_str(), stderr);
        return parsed.exitCode;
    }
    return zemrik::RunSimulator(*parsed.options);
}
