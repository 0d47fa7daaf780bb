// sink.cpp -- the growing buffer the formats are written into.
#include "sink.h"

#include <cstdlib>
#include <cstring>

#include "d88.h"

bool reserve_sink(byte_sink* sink, int64_t count)
{
    if (sink->failed)
        return false;
    if (count <= sink->room - sink->size)
        return true;
    const int64_t room = (sink->size + count) * 2;
    uint8_t* bytes = room <= INT32_MAX ? static_cast<uint8_t*>(std::malloc(static_cast<size_t>(room))) : nullptr;
    if (bytes == nullptr) {
        sink->failed = true;
        return false;
    }
    if (sink->size > 0)
        std::memcpy(bytes, sink->bytes, static_cast<size_t>(sink->size));
    std::free(sink->bytes);
    sink->bytes = bytes;
    sink->room = room;
    return true;
}

void put_sink_bytes(byte_sink* sink, const uint8_t* bytes, int64_t count)
{
    if (count > 0 && reserve_sink(sink, count)) {
        std::memcpy(sink->bytes + sink->size, bytes, static_cast<size_t>(count));
        sink->size += count;
    }
}

void put_sink_fill(byte_sink* sink, uint8_t value, int64_t count)
{
    if (count > 0 && reserve_sink(sink, count)) {
        std::memset(sink->bytes + sink->size, value, static_cast<size_t>(count));
        sink->size += count;
    }
}

void put_sink_byte(byte_sink* sink, uint8_t value)
{
    put_sink_fill(sink, value, 1);
}

void put_sink_le16(byte_sink* sink, uint16_t value)
{
    uint8_t bytes[2];
    put_le16(bytes, value);
    put_sink_bytes(sink, bytes, 2);
}

void put_sink_le32(byte_sink* sink, uint32_t value)
{
    uint8_t bytes[4];
    put_le32(bytes, value);
    put_sink_bytes(sink, bytes, 4);
}
