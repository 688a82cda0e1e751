// Which module a translation unit is built for: the build defines ZELT_MODULE
// as one of these for every module's own sources (host/CMakeLists.txt).
#pragma once

#define ZELT_MODULE_ZELT_LPF 1
#define ZELT_MODULE_ZELT 2
#define ZELT_MODULE_ZELT_TONE 3

#if !defined(ZELT_MODULE)
#error "ZELT_MODULE must be defined by the build (ZELT_MODULE_ZELT_LPF, ZELT_MODULE_ZELT or ZELT_MODULE_ZELT_TONE)"
#endif
