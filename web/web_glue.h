// web_glue.h -- what the page's C interface shares between its two files
// (vorkast_web.cpp: the job, a look into an image, the formats;
// web_files.cpp: the files inside a disk): text that grows as it is written
// (a call's lines, a JSON answer), the route every line of a call takes,
// findings as JSON, and what a call that makes an image hands back.
#ifndef VORKAST_WEB_GLUE_H
#define VORKAST_WEB_GLUE_H

#include <cstddef>
#include <cstdint>

#include "d88.h"

// Text that grows as it is written: the collected lines, or a JSON answer.
// Once memory runs out it stays cut where it was, marked as failed.
struct growing_text {
    char* text;
    size_t length, room;
    bool failed;
};

#if defined(__GNUC__)
void append(growing_text* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
#else
void append(growing_text* out, const char* format, ...);
#endif

// Text as a JSON string, quotes included.
void append_json_string(growing_text* out, const char* text);

// Bytes up to their first zero (a name in its own encoding, which the page
// decodes) as a JSON array of numbers.
void append_json_bytes(growing_text* out, const char* bytes, size_t most);

// The finished text for the page (released with vorkast_web_free), or null
// after "error: memory exhausted!" when memory ran out on the way.
char* hand_over(growing_text* out);

// A call of the page: start_call collects every line the library, the job
// and the glue report from then on (vorkast_web_messages gives them);
// end_call gives the route back to the handler it found.
void start_call();
void end_call();

// Reads the picked bytes of an image file `name` into image, with the
// lines the file reader prints for them; a size below zero says that the
// page could not hand them over (JOB_TOO_LARGE, JOB_NO_MEMORY), as the job
// takes it.  The disks read, or -1 after the lines.
int32_t read_picked_image(d88_image* image, const uint8_t* bytes, int32_t size, const char* name);

// Says why the page could not hand picked bytes over (a size below zero),
// as the job says it; false for a size that is one.
bool say_unpicked(int32_t size, const char* name);

// The members of a JSON array being written, one finding each.
struct json_list {
    growing_text* json;
    int32_t members;
};

// Appends a finding of an image (its check, a conversion's losses, a flux
// dump's report, a file system's faults) to a json_list as an object with
// severity, kind, disk, slot, index, offset, sector and message.
void append_image_finding(const d88_finding* finding, void* context);

extern "C" {

// What a call that makes an image hands back: the status (0 when the image
// was made), the image's bytes, and a text: the name of the output file (a
// completed or repaired image's), or JSON (the losses of an export, what
// an opened image or a change of its files says).  Released with
// vorkast_web_release.
struct web_result {
    int32_t status;
    uint8_t* image;
    int32_t size;
    char* text;
};

void vorkast_web_release(web_result* result);

}  // extern "C"

// A new web_result of status 1; null after "error: memory exhausted!".
web_result* new_result();

#endif
