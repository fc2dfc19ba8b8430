#pragma once

#include <QStringList>

// The six option lists whose entries are fixed in the program, in the order
// start-up fills them, each with its start position.
struct FixedOptionList {
    const char* controlName;
    QStringList entries;
    int startIndex;
};

const QList<FixedOptionList>& FixedOptionLists();
