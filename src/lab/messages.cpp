#include "messages.h"

#include <cstdio>

namespace brownian::lab {

void printError(const std::string &message)
{
    std::fprintf(stderr, "brownian-lab: %s\n", message.c_str());
}

std::string faultText(const RuntimeFault &fault)
{
    return fault.englishName() + " (" + fault.what() + ")";
}

} // namespace brownian::lab
