// Sentence building for the receiver-link tests: a body gets its "$", its
// checksum and its carriage return, as a receiver would send it.
#pragma once

#include <cstdio>
#include <string>

inline std::string nmea_sentence(const std::string& body, const char* end = "\r")
{
    unsigned sum = 0;
    for (unsigned char c : body)
        sum ^= c;
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    return "$" + body + "*" + hex + end;
}

// The reference GGA: 12:35:19.000, 48 07.038 N, 011 31.000 E, fix 1, 8 satellites.
inline const std::string gga_reference =
    "$GPGGA,123519.000,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*59\r";
