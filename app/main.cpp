#include "Startup.h"

int main(int argc, char* argv[])
{
    return runPavkoDriver(argc, argv);
}
