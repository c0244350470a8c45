// Platform switches of the ASIO driver interface, under the header name PortAudio's ASIO host API
// includes. Written for this project from the interface's published facts; see ../README.md.
#pragma once

#if defined(_WIN32)
#ifndef WINDOWS
#define WINDOWS 1
#endif
#endif

// Windows drivers exchange 64-bit sample counts and times as two 32-bit halves, high half first;
// sample rates are plain IEEE doubles.
#define NATIVE_INT64 0
#define IEEE754_64FLOAT 1
