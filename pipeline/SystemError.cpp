#include "pipeline/SystemError.h"

#include <cstring>

QString DescribeSystemError(int code)
{
    const char* text = strerrordesc_np(code);
    return text ? QString::fromLocal8Bit(text).trimmed() : QString();
}
