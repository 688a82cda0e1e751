// What the reader, the writer and the commands share about media.
#include "cli/media.h"

std::string avErrorText(int code)
{
    char buf[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, buf, sizeof buf);
    return buf;
}

std::string quoted(const std::string &path)
{
    return "'" + path + "'";
}
