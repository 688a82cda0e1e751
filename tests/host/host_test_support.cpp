#include "tests/host/host_test_support.h"


#include <string>

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

struct ScriptBox {
    DialogScript script;
};

void playScript(ZeltDialogUser *u, void *context)
{
    ((ScriptBox *)context)->script(u);
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

int runDialog(FilterConfigProc configProc, FilterActivation *fa, const FilterFunctions *ff, DialogScript script)
{
    ScriptBox box{std::move(script)};
    ZeltDialogHost host = zeltDialogHost(playScript, &box);
    return configProc(fa, ff, (HWND)&host);
}

std::string controlText(ZeltDialogUser *u, int id)
{
    char buf[256];
    if (u->getText(u, id, buf, (int)sizeof buf) < 0)
        return "<no control>";
    return buf;
}
