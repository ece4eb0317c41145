// posix_entry.cpp - the process entry on POSIX systems.
#include "platform/platform.h"

int main() { return OrvaleMain(); }
