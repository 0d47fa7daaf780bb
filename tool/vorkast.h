// vorkast.h -- the console tool around the job: its command line and run,
// and the output stage.
#ifndef VORKAST_VORKAST_H
#define VORKAST_VORKAST_H

#include <cstdint>

#include "d88.h"
#include "job.h"

// The whole run of the tool for a command line: 0 when the output file was
// written, 1 otherwise.  main only calls it; tests call it in-process.
int run_vorkast(int argc, char** argv);

// Output stage: the overwrite question, and the writing of the completed
// image to path, asking first when a file is there unless overwrite is set.
int ask_yes_no(const char* question);
int32_t write_output_image(const d88_image* image, const char* path, bool overwrite);

#endif
