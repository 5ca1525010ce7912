// The render command's entry point (see RenderCommand.h).
#include <iostream>

#include "enginehost/RenderCommand.h"

int main(int argc, char** argv) {
    morvane::RenderCommand command(std::cout, std::cerr);
    return command.run(argc, argv);
}
