#include "host/settings.h"

FilterSettings filterSettings = defaultFilterSettings();
