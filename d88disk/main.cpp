// main.cpp -- d88disk's entry point: the whole run lives in run_d88disk.
#include "d88disk.h"

int main(int argc, char** argv)
{
    return run_d88disk(argc, argv);
}
