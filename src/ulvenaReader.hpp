// The command line of ulvenaReader.
#pragma once

// True for the six help switches: -? /? -help /help -aide /aide, and nothing else.
bool asking_help(const char* arg);
