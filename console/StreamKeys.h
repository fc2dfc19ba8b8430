#pragma once

#include "console/Arguments.h"

// The full address of each --stream: the server with its key from
// --stream-key-file (one line per --stream, in order; an empty line keeps
// the address as it is), else from $KESTREL_STREAM_KEY, else none. Throws
// UsageError for a key file others may read, one with too few or too many
// lines, or an address that is not a streaming server's.
QStringList StreamUrls(const ConsoleArguments& args);
