// pellaro: the command-line front end of the Pellaro Update Tool.
#include "CliCommands.h"

#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv)
{
    return RunPellaro(argc, argv, stdout, stderr, isatty(STDERR_FILENO) != 0);
}
