// names.h -- disk names between their Shift_JIS bytes and UTF-8 text.
#ifndef COMMON_NAMES_H
#define COMMON_NAMES_H

#include "d88.h"

// The disk's name for people: its bytes up to the first zero decoded from
// Shift_JIS (code page 932) to UTF-8, trailing spaces left out, each byte
// that is no part of a character, and each control byte, shown as '.'.
constexpr int SHOWN_NAME_SIZE = 16 * 3 + 1;
void show_disk_name(const d88_disk* disk, char out[SHOWN_NAME_SIZE]);

// The name to store for text given in UTF-8: its Shift_JIS bytes padded with
// spaces to 16 and a zero byte.  False after a message when a character has
// no Shift_JIS code or the bytes do not fit in 16.
bool encode_disk_name(const char* text, char stored[17]);

// A file's name for people, from its bytes as a file system stores them
// (Shift_JIS, of which JIS X 0201 is part; the first 24 at most), as
// show_disk_name shows them.
constexpr int SHOWN_FILE_NAME_SIZE = 24 * 3 + 1;
void show_file_name(const char* stored, char out[SHOWN_FILE_NAME_SIZE]);

// The bytes a file system stores for a file name (or a path of names)
// given in UTF-8, into stored of `size` bytes with a zero after them; false
// after a message when a character has no Shift_JIS code or they do not
// fit.
bool encode_file_name(const char* text, char* stored, int size);

#endif
