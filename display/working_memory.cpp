#include "display/working_memory.h"

#include <stdlib.h>

void *(*displayCalloc)(size_t count, size_t size) = calloc;
