#include "analysis/writers/matlab_standin.h"

#include <cstdio>

namespace navsift {

int matlab_not_available(const std::string& script, bool requested)
{
    std::fprintf(stderr,
                 "matlab is not available here: %s was written but not run, so the plots it makes are missing\n",
                 script.c_str());
    return requested ? 1 : 0;
}

std::string MatlabText(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out;
}

}  // namespace navsift
