// names.cpp -- disk names between their Shift_JIS bytes and UTF-8 text.
#include <cstdio>
#include <cstring>

#include "text.h"
#include "names.h"
#include "platform.h"

namespace {

constexpr int NAME_BYTES = 16;

bool is_lead_byte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The bytes as text: decoded from code page 932, each byte that is no part
// of a character, and each control byte, shown as '.'.
void show_bytes(const unsigned char* name, int length, char* out)
{
    int shown = 0;
    for (int i = 0; i < length;) {
        const int count = is_lead_byte(name[i]) && i + 1 < length ? 2 : 1;
        const int size = name[i] < 0x20 ? 0 : cp932_char_to_utf8(name + i, count, out + shown);
        shown += size > 0 ? size : 1;
        if (size == 0)
            out[shown - 1] = '.';
        i += size > 0 ? count : 1;
    }
    out[shown] = '\0';
}

}  // namespace

void show_disk_name(const d88_disk* disk, char out[SHOWN_NAME_SIZE])
{
    const unsigned char* name = reinterpret_cast<const unsigned char*>(disk->name);
    int length = 0;
    while (length < NAME_BYTES && name[length] != 0)
        ++length;
    while (length > 0 && name[length - 1] == ' ')
        --length;
    show_bytes(name, length, out);
}

void show_file_name(const char* stored, char out[SHOWN_FILE_NAME_SIZE])
{
    const void* end = std::memchr(stored, '\0', 24);
    const int length = end != nullptr ? static_cast<int>(static_cast<const char*>(end) - stored) : 24;
    show_bytes(reinterpret_cast<const unsigned char*>(stored), length, out);
}

bool encode_file_name(const char* text, char* stored, int size)
{
    const int length = utf8_to_cp932(text, stored, size - 1);
    if (length < 0 && std::strlen(text) < static_cast<size_t>(size / 2)) {
        print_text("error: the name '%s' has a character with no Shift_JIS code\n", text);
        return false;
    }
    if (length < 0) {
        print_text("error: the name '%s' is longer than a file system holds\n", text);
        return false;
    }
    stored[length] = '\0';
    return true;
}

bool encode_disk_name(const char* text, char stored[17])
{
    char encoded[4 * NAME_BYTES];
    const int length = utf8_to_cp932(text, encoded, sizeof encoded);
    if (length < 0 && std::strlen(text) < sizeof encoded / 2) {
        print_text("error: the name '%s' has a character with no Shift_JIS code\n", text);
        return false;
    }
    if (length < 0 || length > NAME_BYTES) {
        print_text("error: the name '%s' is longer than the 16 bytes a disk name holds\n", text);
        return false;
    }
    std::memcpy(stored, encoded, static_cast<size_t>(length));
    std::memset(stored + length, ' ', static_cast<size_t>(NAME_BYTES - length));
    stored[NAME_BYTES] = '\0';
    return true;
}
