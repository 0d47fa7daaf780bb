// files.h -- what vorkast and d88disk check of the files they are given
// before they write one.
#ifndef COMMON_FILES_H
#define COMMON_FILES_H

// True, after "error: output 'OUT' is one of the input images", when the
// output is the same file as one of the `count` inputs (null ones
// skipped): the inputs are only read, and a slip of the keyboard must not
// replace one.
bool refuse_input_as_output(const char* output, const char* const* inputs, int count);

#endif
