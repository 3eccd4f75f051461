// The C runtime's low-level descriptor and secure stdio functions, for the
// simulated machine. They are recorded and never touch the test process's
// real standard streams (winsim_host.h).
#pragma once

#include <cstdio>

using errno_t = int;

int _fileno(FILE* stream);
int _dup2(int source_fd, int target_fd);
errno_t freopen_s(FILE** result, const char* file_name, const char* mode, FILE* stream);
