// main.cpp -- vorkast's entry point: the whole run lives in run_vorkast.
#include "vorkast.h"

int main(int argc, char** argv)
{
    return run_vorkast(argc, argv);
}
