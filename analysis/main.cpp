#include <string>
#include <vector>

#include "analysis/core/dispatch.h"

int main(int argc, char** argv)
{
    std::vector<std::string> words(argv, argv + argc);
    return navsift::run_navsift(words);
}
