// The host's service table.
#include "hosting/services.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<FilterModule *> &adopted()
{
    static std::vector<FilterModule *> records;
    return records;
}

std::string &programName()
{
    static std::string name = "host";
    return name;
}

bool isAdopted(FilterModule *m)
{
    const std::vector<FilterModule *> &r = adopted();
    return std::find(r.begin(), r.end(), m) != r.end();
}

FilterDefinition *VDCALL hostAddFilter(FilterModule *m, FilterDefinition *fd, int length)
{
    // A definition shorter than ours lacks callbacks we would call; a second
    // registration from one module is not something this host offers.
    if (!m || !isAdopted(m) || !fd || length < (int)sizeof(FilterDefinition) || m->live)
        return nullptr;
    memcpy(&m->def, fd, sizeof(FilterDefinition));
    m->def.next = m->def.prev = nullptr;
    m->def.module = m;
    m->definitionLength = length;
    m->live = true;
    m->registrations++;
    return &m->def;
}

void VDCALL hostRemoveFilter(FilterDefinition *fd)
{
    for (FilterModule *m : adopted())
        if (fd == &m->def)
            m->live = false;
}

bool VDCALL hostYes()
{
    return true;
}

void VDCALL hostInitVTables(void *) {}

void VDCALL hostOutOfMemory()
{
    fprintf(stderr, "%s: the module ran out of memory\n", programName().c_str());
}

void VDCALL hostExcept(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    fprintf(stderr, "%s: the module reports: ", programName().c_str());
    vfprintf(stderr, format, ap);
    fputc('\n', stderr);
    va_end(ap);
}

long VDCALL hostCpuFlags()
{
    return 0;
}

const FilterFunctions services = {hostAddFilter,   hostRemoveFilter, hostYes,    hostYes,
                                  hostInitVTables, hostOutOfMemory,  hostExcept, hostCpuFlags};

}  // namespace

const FilterFunctions *hostServices()
{
    return &services;
}

void hostAdoptModule(FilterModule *m)
{
    if (!isAdopted(m))
        adopted().push_back(m);
}

void hostDropModule(FilterModule *m)
{
    std::vector<FilterModule *> &r = adopted();
    r.erase(std::remove(r.begin(), r.end(), m), r.end());
}

void setHostProgramName(const char *name)
{
    programName() = name ? name : "host";
}
