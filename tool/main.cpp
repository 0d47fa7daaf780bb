// main.cpp -- vorkast's entry point: the whole run lives in run_vorkast.
#include "platform.h"
#include "vorkast.h"

int main(int argc, char** argv)
{
    console_session console(argc, argv);
    return run_vorkast(console.argc, console.argv);
}
