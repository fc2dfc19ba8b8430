#pragma once

#include <QString>

// The system's own wording of an error code, without a line end; the empty
// text for a code the system does not know.
QString DescribeSystemError(int code);
