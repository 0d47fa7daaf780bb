// words.h -- names as the library and the programs built beside it compare
// them: format names, extensions, file-system and media names, typed in any
// case.  Private to the library and the programs built beside it.
#ifndef D88_CORE_WORDS_H
#define D88_CORE_WORDS_H

// Whether a and b are the same text but for the case of ASCII letters.
inline bool is_same_word(const char* a, const char* b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (lower(*a) != lower(*b))
            return false;
    }
    return *a == *b;
}

#endif
