// repair.h -- an imperfect image made into one vorkast's reader accepts,
// keeping every whole disk, track and sector unchanged and saying each
// change: d88disk repair, and the page's Repair.  Nothing is dropped
// silently.
#ifndef COMMON_REPAIR_H
#define COMMON_REPAIR_H

#include <cstdint>

#include "d88.h"

// What a repair comes to: the media byte for an unknown one (-1: none was
// given), how many changes and losses it says, how many disks are of
// unknown media, and whether the file is a raw sector dump.
struct repair_plan {
    int32_t media;
    int32_t changes, losses, unknown_media;
    bool raw_dump;
};

// Repairs the bytes of the image `name`: says each change (a line each),
// and on success leaves in *kept (empty on the way in) an image the reader
// accepts, which the caller writes and releases.  1 after saying why
// nothing may be written (sectors lost without force, an unknown media
// byte, a raw dump, nothing left); -1 when memory runs out; 0 on success.
int32_t repair_d88_bytes(const uint8_t* bytes, int32_t size, const char* name, int32_t media, bool force,
                         d88_image* kept);

// The media byte named by --media (2D, 2DD or 2HD, any case), or -1 after
// saying that there is none.
int32_t find_media(const char* name);

#endif
