// NMEA line assembly: "$" starts a line, carriage return ends it.
#include "src/gps/nmea_line_assembler.h"

void NmeaLineAssembler::reset()
{
    length_ = 0;
    started_ = false;
    complete_ = false;
    buffer_[0] = '\0';
}

bool NmeaLineAssembler::push(char byte)
{
    if (complete_)
        reset();
    if (started_ && (byte == '\r' || byte == '\n'))
        complete_ = true;
    else if (byte == '$')
        started_ = true;
    if (!started_)
        return false;
    buffer_[length_++] = byte;
    if (length_ > max_line) {  // no line end within the buffer: noise or a lost end
        reset();
        return false;
    }
    buffer_[length_] = '\0';
    return complete_;
}
