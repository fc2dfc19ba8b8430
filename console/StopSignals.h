#pragma once

#include <QObject>
#include <functional>

// SIGINT, SIGTERM and SIGPIPE (standard output or error closed) do not end
// the program at once: each calls stop with the signal's number from the
// event loop, so that the running programs can be stopped first. The
// programs started later get the default handling of these signals back.
void CatchStopSignals(QObject* context, const std::function<void(int signal)>& stop);
