#include "tests/host/host_test_support.h"

namespace {

FakeHost *current = nullptr;  // one fake editor at a time

FilterDefinition *VDCALL fakeAddFilter(FilterModule *fm, FilterDefinition *fd, int len)
{
    FakeHost &h = *current;
    h.addCalls++;
    h.added = fd;
    h.addedLength = len;
    h.addedModule = fm;
    if (h.refuse)
        return nullptr;
    h.handle = *fd;
    return &h.handle;
}

void VDCALL fakeRemoveFilter(FilterDefinition *fd)
{
    current->removeCalls++;
    current->removed = fd;
}

}  // namespace

FakeHost::FakeHost()
{
    ff.addFilter = fakeAddFilter;
    ff.removeFilter = fakeRemoveFilter;
    module = (FilterModule *)this;
    current = this;
}

FakeHost::~FakeHost()
{
    current = nullptr;
}
