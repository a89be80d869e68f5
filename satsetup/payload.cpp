// The payload's table, laid down by the assembler file that includes the four files.
#include "satsetup/payload.h"

extern "C" {
// Pairs of start and end addresses, in the order 144, 145, 146, 147.
extern const unsigned char* const satsetup_payload_table[8];
}

std::span<const unsigned char> find_payload_resource(int id)
{
    int index = id - kExtractionTool;
    if (index < 0 || index > 3)
        return {};
    const unsigned char* start = satsetup_payload_table[2 * index];
    const unsigned char* end = satsetup_payload_table[2 * index + 1];
    if (!start || end <= start)
        return {};
    return {start, size_t(end - start)};
}
