// formats.h -- which format d88disk and the page read a file's bytes as.
#ifndef COMMON_FORMATS_H
#define COMMON_FORMATS_H

#include <cstdint>

// The format of bytes named `name`: what their content is, said in a note
// when the name says another; else what the name says; -1 when neither
// tells.
int32_t choose_read_format(const uint8_t* bytes, int32_t size, const char* name);

#endif
