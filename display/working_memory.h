// Working memory of the display modes: obtained at the start of a call and
// released before it returns. The allocator is a seam so that tests can make
// any one request fail; hosts leave it alone.
#pragma once

#include <stddef.h>

// calloc-like: zeroed memory, or null when it cannot be obtained.
extern void *(*displayCalloc)(size_t count, size_t size);
