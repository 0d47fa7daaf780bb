// sink.h -- bytes written one after the other into a buffer that grows, as
// a format is written.  Private to the library's formats.
#ifndef D88_FORMATS_SHARED_SINK_H
#define D88_FORMATS_SHARED_SINK_H

#include <cstdint>

// Once memory runs out (or the bytes pass what a file of the library may
// hold), failed is set and nothing more is kept; the owner frees bytes.
struct byte_sink {
    uint8_t* bytes;
    int64_t size, room;
    bool failed;
};

void put_sink_bytes(byte_sink* sink, const uint8_t* bytes, int64_t count);
void put_sink_fill(byte_sink* sink, uint8_t value, int64_t count);
void put_sink_byte(byte_sink* sink, uint8_t value);
void put_sink_le16(byte_sink* sink, uint16_t value);
void put_sink_le32(byte_sink* sink, uint32_t value);

// Makes room for count more bytes at once (a hint: a sink grows anyway);
// false once the sink has failed.
bool reserve_sink(byte_sink* sink, int64_t count);

#endif
