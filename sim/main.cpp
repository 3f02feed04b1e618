// qev-sim FILE.scn: plays a scenario against the add-in in the in-memory
// world and prints its transcript. Exit status 0 when every expectation held,
// 1 when one failed, 2 when the file is malformed or cannot be read.
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "sim/runner.h"

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]).starts_with("-")) {
        std::cerr << "usage: qev-sim FILE.scn\n";
        return qev::sim::kExitMalformed;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::ostringstream source;
    source << file.rdbuf();
    if (!file) {
        std::cout << "error line 0: cannot read " << argv[1] << "\n";
        return qev::sim::kExitMalformed;
    }
    return qev::sim::RunScenarioText(source.str(), std::cout);
}
