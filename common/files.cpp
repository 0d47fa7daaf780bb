// files.cpp -- checks of the files a program is given.
#include "files.h"

#include "platform.h"
#include "text.h"

bool refuse_input_as_output(const char* output, const char* const* inputs, int count)
{
    for (int i = 0; i < count; ++i) {
        if (inputs[i] != nullptr && is_same_file(output, inputs[i])) {
            print_text("error: output '%s' is one of the input images\n", output);
            return true;
        }
    }
    return false;
}
