// main.cpp -- d88disk's entry point: the whole run lives in run_d88disk.
#include "text.h"
#include "d88disk.h"
#include "platform.h"

int main(int argc, char** argv)
{
    console_session console(argc, argv);
    return run_d88disk(console.argc, console.argv);
}
