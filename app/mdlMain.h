#pragma once

#include <QString>

// State that lives as long as the program and that more than one window uses.
namespace mdlMain
{

// The web address of the link file, unscrambled at start-up; the program's
// web links open it.
inline QString LinkTarget;

} // namespace mdlMain
